// Arithmetic and float functions, bit for bit, through shader objects.
#include <cfloat>
#include <climits>
#include <cmath>

#include "support.h"

namespace kvx::test {
namespace {

float const inf = INFINITY;

Value_bytes f(float v) { return floats(v); }

float eval1(char const* shader, float a) { return float_at(evaluate(shader, {f(a)})); }
float eval2(char const* shader, float a, float b) { return float_at(evaluate(shader, {f(a), f(b)})); }
float eval3(char const* shader, float a, float b, float c) { return float_at(evaluate(shader, {f(a), f(b), f(c)})); }
std::int32_t ieval2(char const* shader, std::int32_t a, std::int32_t b) { return int_at(evaluate(shader, {ints(a), ints(b)})); }

#define EXPECT_BITS(actual, expected) EXPECT_EQ(bits(actual), bits(expected))

TEST(Arithmetic, ColorTreatsAlphaLikeEveryComponent) {
  EXPECT_TRUE(same_floats(evaluate("Math_color_add", {floats(1, 2, 3, 0.5), floats(1, 1, 1, 0.25)}), {2, 3, 4, 0.75}));
}

TEST(Arithmetic, MinMaxReturnLeftOnNanOrEquality) {
  EXPECT_BITS(eval2("Math_float_min", 1.0f, nan), 1.0f);
  EXPECT_BITS(eval2("Math_float_min", nan, 1.0f), nan);
  EXPECT_BITS(eval2("Math_float_max", 1.0f, nan), 1.0f);
  EXPECT_BITS(eval2("Math_float_max", nan, 1.0f), nan);
  EXPECT_BITS(eval2("Math_float_min", -0.0f, 0.0f), -0.0f);
  EXPECT_BITS(eval2("Math_float_max", 0.0f, -0.0f), 0.0f);
}

TEST(Arithmetic, ClampTestsMinFirst) {
  EXPECT_BITS(eval3("Math_float_clamp", 5, 3, 1), 1.0f);
  EXPECT_BITS(eval3("Math_float_clamp", 0, 3, 1), 3.0f);
  EXPECT_BITS(eval3("Math_float_clamp", nan, 0, 1), nan);
  EXPECT_BITS(eval3("Math_float_clamp", 2, nan, 1), 1.0f);
  EXPECT_EQ(int_at(evaluate("Math_int_clamp", {ints(-5), ints(-3), ints(4)})), -3);
}

TEST(Arithmetic, Sign) {
  EXPECT_BITS(eval1("Math_float_sign", -0.0f), 0.0f);
  EXPECT_BITS(eval1("Math_float_sign", nan), 0.0f);
  EXPECT_BITS(eval1("Math_float_sign", -inf), -1.0f);
  EXPECT_BITS(eval1("Math_float_sign", 1e-40f), 1.0f);
  EXPECT_EQ(int_at(evaluate("Math_int_sign", {ints(-7)})), -1);
}

TEST(Arithmetic, AbsClearsTheSignBitOnly) {
  EXPECT_BITS(eval1("Math_float_abs", -0.0f), 0.0f);
  EXPECT_EQ(bits(eval1("Math_float_abs", from_bits(0xffc01234u))), 0x7fc01234u);
  EXPECT_EQ(int_at(evaluate("Math_int_abs", {ints(INT_MIN)})), INT_MIN);
}

TEST(Arithmetic, IntegersWrap) {
  EXPECT_EQ(ieval2("Math_int_multiply", 65536, 65536), 0);
  EXPECT_EQ(ieval2("Math_int_add", INT_MAX, 1), INT_MIN);
  EXPECT_EQ(ieval2("Math_int_subtract", INT_MIN, 1), INT_MAX);
  EXPECT_EQ(ieval2("Math_int_divide", -7, 2), -3);
}

TEST(Arithmetic, IntegerDivisionNeverTraps) {
  EXPECT_EQ(ieval2("Math_int_divide", 5, 0), 0);
  EXPECT_EQ(ieval2("Math_int_divide", INT_MIN, 0), 0);
  EXPECT_EQ(ieval2("Math_int_divide", INT_MIN, -1), INT_MIN);
  EXPECT_TRUE(same_bytes(evaluate("Math_int4_divide", {ints(1, INT_MIN, 9, -9), ints(0, -1, 3, 0)}),
                         ints(0, INT_MIN, 3, 0), 16));
}

TEST(Arithmetic, FloatDivisionByZeroIsIeee) {
  EXPECT_BITS(eval2("Math_float_divide", 1, 0), inf);
  EXPECT_BITS(eval2("Math_float_divide", -1, 0), -inf);
  EXPECT_TRUE(std::isnan(eval2("Math_float_divide", 0, 0)));
}

TEST(Arithmetic, IntegerPowGoesThroughDouble) {
  EXPECT_EQ(ieval2("Math_int_pow", 2, 10), 1024);
  EXPECT_EQ(ieval2("Math_int_pow", 2, -1), 0);
  EXPECT_EQ(ieval2("Math_int_pow", 0, -1), INT_MIN);
  EXPECT_EQ(ieval2("Math_int_pow", 2, 31), INT_MIN);
  EXPECT_EQ(ieval2("Math_int_pow", -2, 31), INT_MIN) << "-2^31 is in range";
  EXPECT_EQ(ieval2("Math_int_pow", -3, 3), -27);
}

TEST(Arithmetic, ExpFmodPowUseTheCLibrary) {
  EXPECT_BITS(eval1("Math_float_exp", 1.5f), expf(1.5f));
  EXPECT_BITS(eval2("Math_float_fmod", 7.5f, -2.0f), fmodf(7.5f, -2.0f));
  EXPECT_BITS(eval2("Math_float_pow", 2.0f, 0.5f), powf(2.0f, 0.5f));
}

TEST(Functions, Round) {
  EXPECT_BITS(eval1("Math_float_round", 2.5f), 3.0f);
  EXPECT_BITS(eval1("Math_float_round", -2.5f), -2.0f);
  EXPECT_BITS(eval1("Math_float_round", from_bits(0x3EFFFFFF)), 1.0f) << "0.49999997 + 0.5 rounds to 1";
}

TEST(Functions, Frac) {
  EXPECT_BITS(eval1("Math_float_frac", -2.0f), 1.0f);
  EXPECT_BITS(eval1("Math_float_frac", 1.75f), 0.75f);
  EXPECT_BITS(eval1("Math_float_frac", -0.25f), 0.75f);
  EXPECT_BITS(eval1("Math_float_frac", -0.0f), -0.0f);
}

TEST(Functions, StepSmoothstepLerp) {
  EXPECT_BITS(eval2("Math_float_step", 1, 1), 1.0f);
  EXPECT_BITS(eval2("Math_float_step", 1, 0.5f), 0.0f);
  EXPECT_BITS(eval2("Math_float_step", nan, 0), 1.0f);
  EXPECT_BITS(eval3("Math_float_smoothstep", 0, 1, 0.5f), 0.5f);
  EXPECT_TRUE(std::isnan(eval3("Math_float_smoothstep", 1, 1, 1)));
  EXPECT_BITS(eval3("Math_float_smoothstep", 2, 1, 0), 0.0f) << "below start, even when end < start";
  EXPECT_BITS(eval3("Math_float_smoothstep", 0, 1, 2), 1.0f);
  EXPECT_BITS(eval3("Math_float_lerp", 2, 4, 1.5f), 5.0f);
}

TEST(Functions, DegreesAndRadiansDivideFirst) {
  EXPECT_EQ(bits(eval1("Math_float_degrees", 1.0f)), 0x42652EE0u);
  EXPECT_EQ(bits(eval1("Math_float_radians", 180.0f)), 0x40490FDBu);
}

TEST(Functions, Logarithms) {
  EXPECT_BITS(eval1("Math_float_log2", 8.0f), logf(8.0f) / logf(2.0f));
  EXPECT_NEAR(eval1("Math_float_log2", 8.0f), 3.0f, 1e-6f);
  EXPECT_BITS(eval1("Math_float_log10", 1000.0f), log10f(1000.0f));
  EXPECT_BITS(eval1("Math_float_log", 0.0f), -inf);
}

TEST(Functions, SquareRoots) {
  EXPECT_BITS(eval1("Math_float_sqrt", 4.0f), 2.0f);
  EXPECT_BITS(eval1("Math_float_sqrt", -0.0f), -0.0f);
  EXPECT_TRUE(std::isnan(eval1("Math_float_sqrt", -1.0f)));
  EXPECT_BITS(eval1("Math_float_rsqrt", 4.0f), 0.5f);
  EXPECT_TRUE(std::isnan(eval1("Math_float_rsqrt", -1.0f)));
  EXPECT_BITS(eval1("Math_float_rsqrt", 0.0f), inf);
  EXPECT_BITS(eval1("Math_float_rsqrt", -0.0f), -inf);
}

TEST(Functions, SaturateKeepsNanAndNegativeZero) {
  EXPECT_BITS(eval1("Math_float_saturate", -0.0f), -0.0f);
  EXPECT_BITS(eval1("Math_float_saturate", nan), nan);
  EXPECT_BITS(eval1("Math_float_saturate", 2.0f), 1.0f);
  EXPECT_BITS(eval1("Math_float_saturate", -2.0f), 0.0f);
}

TEST(Functions, TrigonometryUsesTheCLibrary) {
  EXPECT_BITS(eval1("Math_float_sin", 0.7f), sinf(0.7f));
  EXPECT_BITS(eval1("Math_float_cos", 0.7f), cosf(0.7f));
  EXPECT_BITS(eval1("Math_float_tan", 0.7f), tanf(0.7f));
  EXPECT_BITS(eval1("Math_float_asin", 0.7f), asinf(0.7f));
  EXPECT_BITS(eval1("Math_float_acos", 0.7f), acosf(0.7f));
  EXPECT_BITS(eval1("Math_float_atan", 0.7f), atanf(0.7f));
  EXPECT_BITS(eval2("Math_float_atan2", 1.0f, -2.0f), atan2f(1.0f, -2.0f)) << "y first, then x";
  EXPECT_TRUE(std::isnan(eval1("Math_float_asin", 2.0f)));
}

TEST(Derivatives, PassTheirInputThroughBitForBit) {
  EXPECT_BITS(eval1("Math_float_ddx", 2.5f), 2.5f);
  EXPECT_BITS(eval1("Math_float_ddy", 2.5f), 2.5f);
  EXPECT_TRUE(same_floats(evaluate("Math_color_ddy", {floats(0.1, 0.2, 0.3, 0.4)}), {0.1f, 0.2f, 0.3f, 0.4f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_ddx", {floats(-0.0f, nan, 1.0f)}), {-0.0f, nan, 1.0f}));
}

}  // namespace
}  // namespace kvx::test
