// SPDX-License-Identifier: Apache-2.0
// Screen-space derivatives, bit for bit, through shader objects.
#include "support.h"

namespace kvx::test {
namespace {

TEST(Derivatives, PassTheirInputThroughBitForBit) {
  EXPECT_BITS(eval1("Math_float_ddx", 2.5f), 2.5f);
  EXPECT_BITS(eval1("Math_float_ddy", 2.5f), 2.5f);
  EXPECT_TRUE(same_floats(evaluate("Math_color_ddy", {floats(0.1, 0.2, 0.3, 0.4)}), {0.1f, 0.2f, 0.3f, 0.4f}));
  EXPECT_TRUE(same_floats(evaluate("Math_float3_ddx", {floats(-0.0f, nan, 1.0f)}), {-0.0f, nan, 1.0f}));
}

}  // namespace
}  // namespace kvx::test
