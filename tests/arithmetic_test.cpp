// SPDX-License-Identifier: Apache-2.0
// Component-wise arithmetic, bit for bit, through shader objects.
#include <cfloat>
#include <climits>
#include <cmath>

#include "support.h"

namespace kvx::test {
namespace {

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

}  // namespace
}  // namespace kvx::test
