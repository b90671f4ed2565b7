// SPDX-License-Identifier: Apache-2.0
// The batch library against the C entries: for every shader, on every
// instruction set this processor has, every point of a batch gives the bits
// the shader's C entry gives for the same values, whatever the batch's size
// and however its arrays lie (packed, unaligned, strided, backwards, one
// value for every point, the declared default).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <host/batch_library.h>

#include "support.h"

namespace kvx::test {
namespace {

host::Batch_library& batch_library() {
  static host::Batch_library loaded;
  return loaded;
}

// Points of one shader: its parameters' values, or a State_ shader's field's.
using Point = std::vector<catalogue::Value_bytes>;

// The types a shader's batch function reads: its parameters', or for a
// State_ shader its field's (an int for the bool fields).
std::vector<catalogue::Type> read_types(catalogue::Shader const& row) {
  if (row.source != catalogue::Source::none)
    return {row.result == catalogue::Type::bool_ ? catalogue::Type::int_ : row.result};
  std::vector<catalogue::Type> types;
  for (auto const& p : row.parameters()) types.push_back(p.type);
  return types;
}

// Every edge value in every parameter position, the others taking other edge
// values, then random values: more points than a run of the driver holds.
std::vector<Point> points_of(catalogue::Shader const& row) {
  auto const types = read_types(row);
  std::vector<Point> points;
  for (unsigned k = 0; k < types.size(); ++k)
    for (unsigned e = 0; e < edge_words(kind(types[k])).size(); ++e) {
      Point point;
      for (unsigned j = 0; j < types.size(); ++j) point.push_back(edge_value(types[j], j == k ? e : e * 7 + 3 * j + 1));
      points.push_back(point);
    }
  std::uint64_t const key = mix(row.index);
  for (unsigned round = 0; points.size() < 300; ++round) {
    Point point;
    for (unsigned j = 0; j < types.size(); ++j) point.push_back(random_value(types[j], key, round, j));
    points.push_back(point);
  }
  return points;
}

// What the C entry gives for a point, in plain mode: parameters as constants
// in their slots, a State_ shader's field as the host's answer.
catalogue::Value_bytes c_entry_value(catalogue::Shader const& row, Point const& point) {
  if (row.source == catalogue::Source::none) return evaluate_c(row.name, point);
  Recording_host host;
  host.set_recording(false);
  std::uint32_t words[4];
  std::memcpy(words, point[0].data(), sizeof words);
  float floats[4];
  std::memcpy(floats, words, sizeof floats);
  int const id = row.id;
  auto const type = read_types(row)[0];
  switch (row.source) {
    case catalogue::Source::state:
      if (type == catalogue::Type::int_) host.set_int(id, static_cast<int>(words[0]));
      else if (type == catalogue::Type::float_) host.set_float(id, floats[0]);
      else if (type == catalogue::Type::float2) host.set_float2(id, {floats[0], floats[1]});
      else host.set_float3(id, {floats[0], floats[1], floats[2]});
      break;
    case catalogue::Source::render:
      if (type == catalogue::Type::int_) host.set_render_int(id, static_cast<int>(words[0]));
      else host.set_render_float(id, floats[0]);
      break;
    default:
      if (type == catalogue::Type::float_) host.set_camera_float(id, floats[0]);
      else if (type == catalogue::Type::float2) host.set_camera_float2(id, {floats[0], floats[1]});
      else host.set_camera_int(id, static_cast<int>(words[0]));
  }
  return evaluate_c(row.name, {}, &host);
}

// The texture lookups of the batch host: the reference host's, which the C
// entries ask through the State.
void lookup(void*, kvx_batch_lookup kind, std::size_t count, std::uint32_t const* textures, float const* coordinates,
            float* colors) {
  static host::Reference_host const textures_of;
  host::Lookup const lookups[] = {host::Lookup::tex1d, host::Lookup::tex2d, host::Lookup::tex3d,
                                  host::Lookup::texcube};
  host::Lookup const which = lookups[kind - 1];
  for (std::size_t i = 0; i < count; ++i) {
    ZR::SHADER::Color const color = textures_of.texture(which, textures[i], coordinates + i * dimensions(which));
    std::memcpy(colors + 4 * i, &color, sizeof color);
  }
}
kvx_batch_host const batch_host{&lookup, nullptr};

// One way of laying out a batch's arrays.
struct Layout {
  char const* name;
  std::ptrdiff_t padding;  // bytes between values
  std::size_t offset;      // bytes before the first
  bool backwards;          // point 0 last in memory, a negative stride
};
constexpr Layout layouts[] = {
    {"packed", 0, 0, false}, {"unaligned", 0, 1, false}, {"strided", 5, 3, false}, {"backwards", 4, 0, true}};

// An array of `values` laid out so, and its kvx_batch_values.
struct Array {
  std::vector<unsigned char> bytes;
  unsigned char* first;
  std::ptrdiff_t stride;

  Array(std::size_t count, unsigned width, Layout const& layout)
      : bytes(layout.offset + count * (width + static_cast<std::size_t>(layout.padding)) + 16, 0xA5),
        stride(static_cast<std::ptrdiff_t>(width) + layout.padding) {
    first = bytes.data() + layout.offset;
    if (layout.backwards) {
      first += static_cast<std::ptrdiff_t>(count - 1) * stride;
      stride = -stride;
    }
  }
  unsigned char* at(std::size_t i) { return first + static_cast<std::ptrdiff_t>(i) * stride; }
};

class Every_batch : public ::testing::TestWithParam<unsigned> {
 protected:
  catalogue::Shader const& row = catalogue::shaders[GetParam()];
  kvx_batch_function* const batch = batch_library().function(GetParam());

  // Runs the batch over `points` in calls of `sizes` points (repeated), the
  // arrays laid out as `layout`; parameter `held`, if any, one value for
  // every point (its first point's), or with `by_default` its declared
  // default. Checks every point against `expected`.
  void check(std::vector<Point> const& points, std::vector<catalogue::Value_bytes> const& expected,
             Layout const& layout, std::vector<std::size_t> const& sizes, int held = -1, bool by_default = false,
             unsigned held_from = 0) {
    auto const types = read_types(row);
    unsigned const result_width = catalogue::width(row.result);
    std::vector<Array> arrays;
    for (unsigned k = 0; k < types.size(); ++k) {
      arrays.emplace_back(points.size(), catalogue::width(types[k]), layout);
      for (std::size_t i = 0; i < points.size(); ++i)
        std::memcpy(arrays[k].at(i), points[i][k].data(), catalogue::width(types[k]));
    }
    Array results(points.size(), result_width, layout);
    std::size_t first = 0;
    for (std::size_t call = 0; first < points.size(); ++call) {
      std::size_t const count = std::min(sizes[call % sizes.size()], points.size() - first);
      std::vector<kvx_batch_values> parameters;
      for (unsigned k = 0; k < types.size(); ++k) {
        if (static_cast<int>(k) == held) parameters.push_back({by_default ? nullptr : arrays[k].at(held_from), 0});
        else parameters.push_back({arrays[k].at(first), arrays[k].stride});
      }
      ASSERT_EQ(batch(&batch_host, count, parameters.data(), {results.at(first), results.stride}), KVX_BATCH_DONE);
      first += count;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
      catalogue::Value_bytes value{};
      std::memcpy(value.data(), results.at(i), result_width);
      ASSERT_TRUE(same_bytes(value, expected[i], result_width))
          << row.name << " on " << batch_library().target() << ", " << layout.name << ", point " << i
          << (held >= 0 ? by_default ? ", a parameter by default" : ", a parameter held" : "");
    }
  }
};

TEST_P(Every_batch, GivesTheCEntrysBitsOnEveryInstructionSet) {
  auto const points = points_of(row);
  std::vector<catalogue::Value_bytes> expected;
  for (auto const& point : points) expected.push_back(c_entry_value(row, point));
  // One value for every point (each of a few points' values, -0 and a NaN
  // among them), and the declared default, parameter by parameter.
  constexpr unsigned held_from[] = {0, 1, 10};
  std::vector<std::vector<catalogue::Value_bytes>> held_expected, default_expected;
  for (unsigned k = 0; k < row.parameter_count; ++k) {
    for (unsigned from : held_from) {
      auto& held = held_expected.emplace_back();
      for (auto point : points) {
        point[k] = points[from][k];
        held.push_back(c_entry_value(row, point));
      }
    }
    auto& by_default = default_expected.emplace_back();
    for (auto point : points) {
      point[k] = row.parameter_list[k].default_value;
      by_default.push_back(c_entry_value(row, point));
    }
  }
  std::string const was = batch_library().target();
  for (char const* target : {"sse2", "avx2", "avx512"}) {
    if (!batch_library().use_target(target)) continue;
    SCOPED_TRACE(target);
    for (auto const& layout : layouts) check(points, expected, layout, {300});
    // Runs of every size around a vector of lanes, and past the driver's run.
    check(points, expected, layouts[0], {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33});
    check(points, expected, layouts[1], {257, 17});
    for (unsigned k = 0; k < row.parameter_count; ++k) {
      for (unsigned h = 0; h < std::size(held_from); ++h)
        check(points, held_expected[k * std::size(held_from) + h], layouts[2], {300}, static_cast<int>(k), false,
              held_from[h]);
      check(points, default_expected[k], layouts[0], {300}, static_cast<int>(k), true);
    }
  }
  batch_library().use_target(was.c_str());
}

INSTANTIATE_TEST_SUITE_P(Catalogue, Every_batch, ::testing::Range(0u, catalogue::shader_count), shader_test_name);

TEST(Batch, WritesOverItsOwnParameterInPlace) {
  // left = left + right, the results over the left values.
  std::vector<float> values(100), right(100, 0.25f);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = i % 7 ? float(i) : nan_with_payload(unsigned(i));
  auto const before = values;
  kvx_batch_values const parameters[] = {{values.data(), 4}, {right.data(), 4}};
  ASSERT_EQ(batch_library().function(row("Math_float_add").index)(nullptr, values.size(), parameters,
                                                                    {values.data(), 4}),
            KVX_BATCH_DONE);
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_TRUE(same_floats(floats(values[i]), {float_at(evaluate_c("Math_float_add", {f(before[i]), f(0.25f)}))}))
        << i;
}

TEST(Batch, RefusesWhatItCannotDo) {
  float out[4];
  float const uv[2] = {0.5f, 0.5f};
  std::uint32_t const texture = 1;
  kvx_batch_values const lookup_parameters[] = {{&texture, 0}, {uv, 0}};
  auto* const tex2d = batch_library().function(row("Math_color_tex2d").index);
  EXPECT_EQ(tex2d(nullptr, 1, lookup_parameters, {out, 16}), KVX_BATCH_NO_LOOKUP);
  kvx_batch_host const no_lookup{nullptr, nullptr};
  EXPECT_EQ(tex2d(&no_lookup, 1, lookup_parameters, {out, 16}), KVX_BATCH_NO_LOOKUP);
  auto* const uv_shader = batch_library().function(row("State_parametric_uv").index);
  EXPECT_EQ(uv_shader(nullptr, 1, nullptr, {out, 8}), KVX_BATCH_NO_ARRAY);
  auto* const add = batch_library().function(row("Math_float_add").index);
  EXPECT_EQ(add(nullptr, 1, nullptr, {nullptr, 4}), KVX_BATCH_NO_ARRAY);
  EXPECT_EQ(add(nullptr, 0, nullptr, {nullptr, 4}), KVX_BATCH_DONE) << "no points: nothing to refuse";
  ASSERT_EQ(add(nullptr, 1, nullptr, {out, 4}), KVX_BATCH_DONE) << "every parameter by default";
  EXPECT_BITS(out[0], 0.0f);
}

TEST(Batch, NamesItsInstructionSetsAndRefusesOthers) {
  std::string const was = batch_library().target();
  EXPECT_TRUE(was == "sse2" || was == "avx2" || was == "avx512") << was;
  EXPECT_TRUE(batch_library().use_target("sse2"));
  EXPECT_STREQ(batch_library().target(), "sse2");
  EXPECT_FALSE(batch_library().use_target("neon"));
  EXPECT_FALSE(batch_library().use_target(nullptr));
  EXPECT_STREQ(batch_library().target(), "sse2");
  EXPECT_TRUE(batch_library().use_target(was.c_str()));
  // Every_batch compares the instruction sets this processor runs; the
  // report says which, so that a run without AVX-512 is not taken for one with.
  std::string ran, absent;
  for (char const* target : {"sse2", "avx2", "avx512"}) {
    std::string& list = batch_library().use_target(target) ? ran : absent;
    list.append(list.empty() ? "" : ", ").append(target);
  }
  batch_library().use_target(was.c_str());
  std::printf("[conformance] batches compared with the C entries on %s%s%s\n", ran.c_str(),
              absent.empty() ? "" : "; not on this processor: ", absent.c_str());
}

}  // namespace
}  // namespace kvx::test
