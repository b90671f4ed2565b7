// SPDX-License-Identifier: Apache-2.0
// State read-outs and texture lookups: each asks the host exactly once.
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

// The host call a State_ shader makes last, with the id it passes.
Call final_call(catalogue::Shader const& r) {
  using catalogue::Source;
  switch (r.source) {
    case Source::state:
      return r.result == catalogue::Type::float3 ? Call::state_float3
             : r.result == catalogue::Type::float2 ? Call::state_float2
             : r.result == catalogue::Type::float_ ? Call::state_float
                                        : Call::state_int;
    case Source::render:
      return r.result == catalogue::Type::float_ ? Call::render_float : Call::render_int;
    default:
      return r.result == catalogue::Type::float2 ? Call::camera_float2
             : r.result == catalogue::Type::float_ ? Call::camera_float
                                        : Call::camera_int;
  }
}

std::vector<Call> path_to(Call last) {
  switch (last) {
    case Call::render_int: case Call::render_float: return {Call::render_settings, last};
    case Call::camera_int: case Call::camera_float: case Call::camera_float2:
      return {Call::render_settings, Call::camera, last};
    default: return {last};
  }
}

TEST(State, EveryReadOutAsksItsSourceOnceWithItsId) {
  for (auto const& r : catalogue::shaders) {
    if (r.source == catalogue::Source::none) continue;
    SCOPED_TRACE(std::string(r.name));
    kvx::test::Recording_host host;
    // Distinct answers on every source for the row's id, so a wrong source shows.
    host.set_int(r.id, 7);
    host.set_float(r.id, 1.5f);
    host.set_float2(r.id, {2.5f, -3.5f});
    host.set_float3(r.id, {4.5f, 5.5f, -0.0f});
    host.set_render_int(r.id, 11);
    host.set_render_float(r.id, 12.5f);
    host.set_camera_int(r.id, -1);
    host.set_camera_float(r.id, 13.5f);
    host.set_camera_float2(r.id, {14.5f, 15.5f});
    catalogue::Value_bytes value = evaluate(r.name, {}, &host);

    std::vector<Call> made;
    for (auto const& c : host.calls()) made.push_back(c.call);
    EXPECT_EQ(made, path_to(final_call(r)));
    EXPECT_EQ(host.calls().back().id, r.id);

    catalogue::Value_bytes expected{};
    switch (final_call(r)) {
      case Call::state_float3: expected = floats(4.5f, 5.5f, -0.0f); break;
      case Call::state_float2: expected = floats(2.5f, -3.5f); break;
      case Call::state_float: expected = floats(1.5f); break;
      case Call::state_int: expected = bools({1}); break;
      case Call::render_int: expected = ints(11); break;
      case Call::render_float: expected = floats(12.5f); break;
      case Call::camera_int: expected = bools({1}); break;
      case Call::camera_float: expected = floats(13.5f); break;
      default: expected = floats(14.5f, 15.5f); break;
    }
    EXPECT_TRUE(same_bytes(value, expected, width(r.result)));
  }
}

TEST(State, BoolReadOutsAreOneForAnyNonZeroInteger) {
  for (char const* shader : {"State_backside", "State_inside"}) {
    int const id = row(shader).id;
    for (int v : {7, -1, 1, 0}) {
      kvx::test::Recording_host host;
      host.set_int(id, v);
      EXPECT_EQ(evaluate(shader, {}, &host)[0], v != 0 ? 1 : 0) << shader << " " << v;
    }
  }
  kvx::test::Recording_host host;
  host.set_camera_int(0, 0);
  EXPECT_EQ(evaluate("State_orthographic", {}, &host)[0], 0);
}

TEST(State, IdsFollowTheHostsNumberingNotTheIndexOrder) {
  EXPECT_EQ(row("State_shutter_duration").id, 3);
  EXPECT_EQ(row("State_shutter_position").id, 4);
  EXPECT_EQ(row("State_window_bottom").id, 13);
}

TEST(Texture, LookupsPassHandleAndCoordinateAndReturnTheHostsColor) {
  struct Case {
    char const* shader;
    Call call;
    catalogue::Value_bytes coordinate;
    int dimensions;
  };
  Case const cases[] = {{"Math_color_tex1d", Call::tex1d, floats(0.25f), 1},
                        {"Math_color_tex2d", Call::tex2d, floats(0.5f, 0.5f), 2},
                        {"Math_color_tex3d", Call::tex3d, floats(-4, 0.5f, 7), 3},
                        {"Math_color_texcube", Call::texcube, floats(0, 0, 9), 3}};
  for (auto const& c : cases) {
    kvx::test::Recording_host host;
    std::vector<float> seen;
    host.set_texture(7, [&](host::Lookup lookup, float const* coordinate) {
      EXPECT_EQ(static_cast<int>(lookup), static_cast<int>(c.call) - static_cast<int>(Call::tex1d));
      seen.assign(coordinate, coordinate + c.dimensions);
      return ZR::SHADER::Color{0.25f, 0.5f, 0.75f, 1.0f};
    });
    catalogue::Value_bytes color = evaluate(c.shader, {ints(7), c.coordinate}, &host);
    EXPECT_TRUE(same_floats(color, {0.25f, 0.5f, 0.75f, 1.0f})) << c.shader;
    ASSERT_EQ(seen.size(), unsigned(c.dimensions));
    for (int i = 0; i < c.dimensions; ++i) EXPECT_EQ(seen[i], float_at(c.coordinate, i)) << "unchanged";
    EXPECT_EQ(host.count(c.call), 1u);
  }
}

}  // namespace
}  // namespace kvx::test
