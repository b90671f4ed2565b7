// SPDX-License-Identifier: Apache-2.0
// One rule for every vector and color shader of a component-wise operation:
// result component i is what the scalar shader of the same operation gives for
// the i-th components, alpha included, whatever the inputs.
#include <cfloat>
#include <climits>
#include <cmath>
#include <set>
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

// Operations whose vector members are made of their scalar member.
std::set<std::string_view> const componentwise = {
    "add", "subtract", "multiply", "divide", "abs", "clamp", "exp", "exp2", "fmod", "max", "min", "pow", "sign",
    "acos", "asin", "atan", "atan2", "ceil", "cos", "ddx", "ddy", "degrees", "floor", "frac", "lerp", "log", "log2",
    "log10", "radians", "round", "rsqrt", "saturate", "sin", "smoothstep", "sqrt", "step", "tan",
    "equal", "not_equal", "less_than", "greater_than", "less_than_or_equal", "greater_than_or_equal",
    "and", "or"};

std::uint32_t const component_floats[] = {
    0x00000000, 0x80000000, 0x3f800000, 0xbf800000, 0x3f000000, 0x40200000, 0xc0200000, 0x7fc01234,
    0xffc00001, 0x7f800000, 0xff800000, 0x00000001, 0x80400000, 0x7f7fffff, 0xff7fffff, 0x40400000,
    0x501502f9, 0x3eaaaaab, 0x42652ee0, 0xc2fe0000};
std::int32_t const component_ints[] = {0, 1, -1, 2, -7, 10, 31, 65536, INT_MIN, INT_MAX, 3, -2};
std::uint8_t const component_bools[] = {0, 1, 2, 255};

// Component i of parameter k in round `round`: walks each corpus so that every
// component sees different values from its neighbours.
catalogue::Value_bytes component_value(catalogue::Type t, unsigned round, unsigned k, unsigned i) {
  unsigned pick = round * 7 + k * 5 + i * 3;
  switch (kind(t)) {
    case catalogue::Kind::real: return floats(from_bits(component_floats[pick % std::size(component_floats)]));
    case catalogue::Kind::integer: return ints(component_ints[pick % std::size(component_ints)]);
    default: return bools({component_bools[pick % std::size(component_bools)]});
  }
}

std::string scalar_member(catalogue::Shader const& r) {
  std::string_view type = kind(r.type) == catalogue::Kind::real      ? "float"
                          : kind(r.type) == catalogue::Kind::integer ? "int"
                                                                     : "bool";
  return "Math_" + std::string(type) + "_" + std::string(r.operation);
}

TEST(Componentwise, VectorMembersApplyTheScalarMemberPerComponent) {
  unsigned checked = 0;
  for (auto const& r : catalogue::shaders) {
    if (!r.typed || is_scalar(r.type) || !componentwise.contains(r.operation)) continue;
    SCOPED_TRACE(std::string(r.name));
    auto const& scalar = row(scalar_member(r));
    unsigned const n = components(r.type);
    unsigned const component_width = width(r.result) / n;
    for (unsigned round = 0; round < 12; ++round) {
      std::vector<catalogue::Value_bytes> arguments(r.parameter_count, catalogue::Value_bytes{});
      std::vector<std::vector<catalogue::Value_bytes>> per_component(
          n, std::vector<catalogue::Value_bytes>(r.parameter_count));
      for (unsigned k = 0; k < r.parameter_count; ++k)
        for (unsigned i = 0; i < n; ++i) {
          catalogue::Value_bytes v = component_value(r.type, round, k, i);
          unsigned size = component_size(r.type);
          std::memcpy(arguments[k].data() + i * size, v.data(), size);
          per_component[i][k] = v;
        }
      catalogue::Value_bytes const vector = evaluate(r.name, arguments);
      for (unsigned i = 0; i < n; ++i) {
        catalogue::Value_bytes const expected = evaluate(scalar.name, per_component[i]);
        catalogue::Value_bytes actual{};
        std::memcpy(actual.data(), vector.data() + i * component_width, component_width);
        EXPECT_TRUE(same_bytes(actual, expected, component_width)) << "component " << i << ", round " << round;
      }
    }
    ++checked;
  }
  // 82 arithmetic, 96 float function, 48 comparison and 6 connective shaders.
  EXPECT_EQ(checked, 232u);
}

}  // namespace
}  // namespace kvx::test
