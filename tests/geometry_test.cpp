// SPDX-License-Identifier: Apache-2.0
// Vector geometry: every sum in its fixed order.
#include <cmath>

#include "support.h"

namespace kvx::test {
namespace {


TEST(Geometry, Dot) {
  EXPECT_TRUE(same_floats(evaluate("Math_float3_dot", {floats(1, 2, 3), floats(4, 5, 6)}), {32}));
  EXPECT_TRUE(same_floats(evaluate("Math_int2_dot", {ints((1 << 24) + 1, 0), ints(1, 0)}), {16777216.0f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float_dot", {floats(-2), floats(0)}), {-0.0f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float2_dot", {floats(-2, 0), floats(0, 0)}), {0.0f})) << "sum starts at +0.0";
  EXPECT_TRUE(same_floats(evaluate("Math_color_dot", {floats(1, 1, 1, 1), floats(1, 2, 3, 4)}), {10}));
}

TEST(Geometry, DotAddsInComponentOrder) {
  // ((0 + 1e8) + 1) - 1e8 = 0, not 1 as another order would give.
  EXPECT_TRUE(same_floats(evaluate("Math_float3_dot", {floats(1e8f, 1, -1e8f), floats(1, 1, 1)}), {0.0f}));
}

TEST(Geometry, LengthAndDistance) {
  EXPECT_TRUE(same_floats(evaluate("Math_float_length", {floats(-3)}), {3}));
  EXPECT_TRUE(same_floats(evaluate("Math_float_distance", {floats(2), floats(5)}), {3}));
  EXPECT_TRUE(same_floats(evaluate("Math_color_length", {floats(0, 0, 0, 2)}), {2}));
  EXPECT_TRUE(same_floats(evaluate("Math_float2_distance", {floats(4, 0), floats(1, 4)}), {5}));
}

TEST(Geometry, Normalize) {
  EXPECT_TRUE(same_floats(evaluate("Math_color_normalize", {floats(0, 0, 3, 4)}), {0, 0, 0.6f, 0.8f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_normalize", {floats(0, 0, 0)}), {0, 0, 0}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_normalize", {floats(nan, 1, 1)}), {nan, 1, 1}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_normalize", {floats(3, 0, 4)}), {0.6f, 0, 0.8f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float2_normalize", {floats(1e30f, 1e30f)}), {0, 0}))
      << "squared length overflows";
  EXPECT_TRUE(same_floats(evaluate("Math_float3_normalize", {floats(1e20f, 0, 0)}), {0, 0, 0}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_normalize", {floats(1e-30f, 0, 0)}), {1e-30f, 0, 0}))
      << "squared length rounds to zero: unchanged";
}

TEST(Geometry, Faceforward) {
  catalogue::Value_bytes const n = floats(1, -2, 0);
  EXPECT_TRUE(same_floats(evaluate("Math_float3_faceforward", {n, floats(0, 1, 0), floats(0, -1, 0)}), {1, -2, 0}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_faceforward", {n, floats(0, 1, 0), floats(0, 1, 0)}), {-1, 2, -0.0f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_faceforward", {n, floats(1, 0, 0), floats(0, 1, 0)}), {-1, 2, -0.0f}))
      << "a zero dot flips";
}

TEST(Geometry, CrossReflectRefract) {
  EXPECT_TRUE(same_floats(evaluate("Math_cross", {floats(1, 0, 0), floats(0, 1, 0)}), {0, 0, 1}));
  EXPECT_TRUE(same_floats(evaluate("Math_reflect", {floats(1, -1, 0), floats(0, 1, 0)}), {1, 1, 0}));
  EXPECT_TRUE(same_floats(evaluate("Math_refract", {floats(1, 0, 0), floats(0, 1, 0), floats(2)}), {0, 0, 0}));
  EXPECT_TRUE(same_floats(evaluate("Math_refract", {floats(0, -1, 0), floats(0, 1, 0), floats(1)}), {0, -1, 0}));
  catalogue::Value_bytes r = evaluate("Math_refract", {floats(0, -1, 0), floats(0, 1, 0), floats(nan)});
  EXPECT_TRUE(std::isnan(float_at(r, 0)));
}

}  // namespace
}  // namespace kvx::test
