// SPDX-License-Identifier: Apache-2.0
// Comparisons, reductions, connectives and selection.
#include <climits>
#include <cmath>

#include "support.h"

namespace kvx::test {
namespace {

std::uint8_t truth(char const* shader, catalogue::Value_bytes a, catalogue::Value_bytes b) {
  return evaluate(shader, {a, b})[0];
}
std::uint8_t truth(char const* shader, catalogue::Value_bytes a) { return evaluate(shader, {a})[0]; }

TEST(Comparison, FloatRelationsAreOrderedAndNotEqualIsTheirNegation) {
  EXPECT_EQ(truth("Math_float_equal", floats(nan), floats(nan)), 0);
  EXPECT_EQ(truth("Math_float_not_equal", floats(nan), floats(nan)), 1);
  EXPECT_EQ(truth("Math_float_less_than_or_equal", floats(nan), floats(1)), 0);
  EXPECT_EQ(truth("Math_float_greater_than", floats(1), floats(nan)), 0);
  EXPECT_EQ(truth("Math_float_greater_than_or_equal", floats(1), floats(1)), 1);
  EXPECT_EQ(truth("Math_float_equal", floats(0.0f), floats(-0.0f)), 1);
  EXPECT_EQ(truth("Math_float_equal", floats(1.0f), floats(std::nextafter(1.0f, 2.0f))), 0);
}

TEST(Comparison, VectorsCompareComponentByComponent) {
  EXPECT_TRUE(same_bytes(evaluate("Math_float3_less_than", {floats(1, 5, nan), floats(2, 5, 0)}), bools({1, 0, 0}), 3));
  EXPECT_TRUE(
      same_bytes(evaluate("Math_color_equal", {floats(1, 2, 3, 4), floats(1, 2, 3, 5)}), bools({1, 1, 1, 0}), 4));
}

TEST(Comparison, IntegersAreSigned) {
  EXPECT_EQ(truth("Math_int_greater_than", ints(0), ints(-1)), 1);
  EXPECT_EQ(truth("Math_int_less_than", ints(INT_MIN), ints(INT_MAX)), 1);
}

TEST(Comparison, BoolBytesCompareAsStoredButConnectivesTestNonZero) {
  EXPECT_EQ(truth("Math_bool_equal", bools({2}), bools({1})), 0);
  EXPECT_EQ(truth("Math_bool_not_equal", bools({2}), bools({1})), 1);
  EXPECT_EQ(truth("Math_bool_and", bools({2}), bools({1})), 1);
  EXPECT_EQ(truth("Math_bool_or", bools({0}), bools({5})), 1);
  EXPECT_TRUE(
      same_bytes(evaluate("Math_bool4_and", {bools({2, 0, 7, 1}), bools({3, 3, 0, 1})}), bools({1, 0, 0, 1}), 4));
}

TEST(Reduction, NanIsTrueAndNegativeZeroFalse) {
  EXPECT_EQ(truth("Math_float_all", floats(nan)), 1);
  EXPECT_EQ(truth("Math_float_any", floats(nan)), 1);
  EXPECT_EQ(truth("Math_float_all", floats(-0.0f)), 0);
  EXPECT_EQ(truth("Math_float_any", floats(-0.0f)), 0);
  EXPECT_EQ(truth("Math_float4_all", floats(1, 1, 1, 0)), 0);
  EXPECT_EQ(truth("Math_float4_any", floats(0, 0, 0, -2)), 1);
  EXPECT_EQ(truth("Math_color_any", floats(0, 0, 0, 0.5)), 1);
  EXPECT_EQ(truth("Math_int3_all", ints(1, -1, INT_MIN)), 1);
  EXPECT_EQ(truth("Math_bool2_all", bools({2, 9})), 1);
}

TEST(Selection, OneConditionSelectsTheWholeValueUnchanged) {
  catalogue::Value_bytes const t = floats(1.0f, nan);
  catalogue::Value_bytes const f = floats(-0.0f, 3.0f);
  EXPECT_TRUE(same_bytes(evaluate("Math_float2_conditional", {bools({0}), t, f}), f, 8));
  EXPECT_TRUE(same_bytes(evaluate("Math_float2_conditional", {bools({2}), t, f}), t, 8));
  EXPECT_TRUE(same_bytes(evaluate("Math_bool3_conditional", {bools({1}), bools({2, 0, 9}), bools({1, 1, 1})}),
                         bools({2, 0, 9}), 3));
  EXPECT_EQ(int_at(evaluate("Math_int_conditional", {bools({1}), ints(-5), ints(6)})), -5);
}

}  // namespace
}  // namespace kvx::test
