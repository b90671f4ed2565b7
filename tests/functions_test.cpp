// SPDX-License-Identifier: Apache-2.0
// Scalar math functions, bit for bit, through shader objects.
#include <cfloat>
#include <climits>
#include <cmath>

#include "support.h"

namespace kvx::test {
namespace {

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
  // (t × t) × (3 − 2t), as described, which is not 3t² − 2t³ to the last bit.
  float const t = 0.3f;
  EXPECT_BITS(eval3("Math_float_smoothstep", 0, 1, t), (t * t) * (3.0f - 2.0f * t));
  EXPECT_NE(bits(eval3("Math_float_smoothstep", 0, 1, t)), bits(3.0f * t * t - 2.0f * t * t * t));
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

}  // namespace
}  // namespace kvx::test
