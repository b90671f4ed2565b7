// SPDX-License-Identifier: Apache-2.0
#include <network/grid.h>

#include <network/shading_thread.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <memory>

namespace kvx::network {

namespace {

float fraction(float c) { return c - std::floor(c); }

// Cube lookups map a direction from [-1, 1] to [0, 1]; the others take the
// fractional part of each coordinate given, 0.5 for the ones not given.
ZR::SHADER::Color ramp(host::Lookup lookup, float const* coordinate) {
  if (lookup == host::Lookup::texcube)
    return {0.5f * coordinate[0] + 0.5f, 0.5f * coordinate[1] + 0.5f, 0.5f * coordinate[2] + 0.5f, 1.0f};
  unsigned const given = lookup == host::Lookup::tex1d ? 1 : lookup == host::Lookup::tex2d ? 2 : 3;
  float c[3] = {0.5f, 0.5f, 0.5f};
  for (unsigned i = 0; i < given; ++i) c[i] = fraction(coordinate[i]);
  return {c[0], c[1], c[2], 1.0f};
}

}  // namespace


void set_grid_settings(host::Reference_host& host, Grid grid) {
  using catalogue::state_id;
  int const w = static_cast<int>(grid.width), h = static_cast<int>(grid.height);
  host.set_float3(state_id("State_direction"), {0, 0, -1});
  host.set_float3(state_id("State_normal"), {0, 0, 1});
  host.set_float3(state_id("State_geometry_normal"), {0, 0, 1});
  host.record().set_normal({0, 0, 1});
  host.set_float3(state_id("State_motion"), {0, 0, 0});
  host.set_float(state_id("State_ray_length"), 1.0f);
  host.set_float(state_id("State_dot_nd"), -1.0f);
  host.set_int(state_id("State_backside"), 0);
  host.set_int(state_id("State_inside"), 0);
  host.set_float(state_id("State_importance"), 1.0f);
  host.set_float(state_id("State_incident_ior"), 1.0f);
  host.set_float(state_id("State_refracted_ior"), 1.0f);

  host.set_render_int(state_id("State_animation_frame"), 1);
  for (int id : {state_id("State_animation_time"), state_id("State_shutter_time"), state_id("State_shutter_duration"),
                 state_id("State_shutter_position"), state_id("State_shutter_open"), state_id("State_shutter_close")})
    host.set_render_float(id, 0.0f);
  host.set_render_int(state_id("State_image_x_resolution"), w);
  host.set_render_int(state_id("State_image_y_resolution"), h);
  host.set_render_int(state_id("State_window_left"), 0);
  host.set_render_int(state_id("State_window_right"), w - 1);
  host.set_render_int(state_id("State_window_top"), 0);
  host.set_render_int(state_id("State_window_bottom"), h - 1);

  host.set_camera_int(state_id("State_orthographic"), 1);
  host.set_camera_float(state_id("State_focal_length"), 1.0f);
  host.set_camera_float(state_id("State_aperture"), 0.0f);
  host.set_camera_float(state_id("State_aspect_ratio"), float(grid.width) / float(grid.height));
  host.set_camera_float2(state_id("State_camera_offset"), {0, 0});
  host.set_camera_float(state_id("State_near_clip"), 0.1f);
  host.set_camera_float(state_id("State_far_clip"), 1000.0f);

  host.set_texture(grid_texture::ramp, ramp);
}

std::optional<Geometry> parse_geometry(std::string_view name) {
  if (name == "plane") return Geometry::plane;
  if (name == "sphere") return Geometry::sphere;
  return std::nullopt;
}

namespace {

// The unit sphere at the origin, seen by the orthographic camera looking down
// -z, as large as the picture's shorter side: pixel (x, y) is at
// s = (2x + 1 - width, height - 2y - 1) / min(width, height), on the sphere
// where |s| <= 1, at (s, sqrt(1 - |s|^2)), which is also its normal; the ray
// comes from z = 2. Its u and v are longitude and latitude:
// u = 1/2 + atan2(x, z) / 2 pi, v = 1/2 + asin(y) / pi.
bool set_sphere_point(host::Reference_host& host, Grid grid, unsigned x, unsigned y) {
  using catalogue::state_id;
  float const side = float(std::min(grid.width, grid.height));
  float const sx = (2.0f * float(x) + 1.0f - float(grid.width)) / side;
  float const sy = (float(grid.height) - 2.0f * float(y) - 1.0f) / side;
  float const r2 = sx * sx + sy * sy;
  if (!(r2 <= 1.0f)) return false;
  float const z = std::sqrt(1.0f - r2);
  ZR::SHADER::Vector3 const normal{sx, sy, z};
  constexpr float pi = 3.14159265358979f;
  host.set_float2(state_id("State_parametric_uv"),
                  {0.5f + std::atan2(sx, z) / (2.0f * pi), 0.5f + std::asin(std::clamp(sy, -1.0f, 1.0f)) / pi});
  host.set_float3(state_id("State_position"), normal);
  host.set_float3(state_id("State_origin"), {sx, sy, 2.0f});
  host.set_float3(state_id("State_normal"), normal);
  host.set_float3(state_id("State_geometry_normal"), normal);
  host.record().set_normal(normal);
  host.set_float(state_id("State_ray_length"), 2.0f - z);
  host.set_float(state_id("State_dot_nd"), -z);
  return true;
}

}  // namespace

bool set_grid_point(host::Reference_host& host, Grid grid, unsigned x, unsigned y) {
  using catalogue::state_id;
  host.set_float2(state_id("State_raster"), {float(x) + 0.5f, float(y) + 0.5f});
  if (grid.geometry == Geometry::sphere) return set_sphere_point(host, grid, x, y);
  float const u = grid_u(grid, x), v = grid_v(grid, y);
  host.set_float2(state_id("State_parametric_uv"), {u, v});
  host.set_float3(state_id("State_position"), {u, v, 0});
  host.set_float3(state_id("State_origin"), {u, v, 1});
  return true;
}

float component_value(catalogue::Type type, catalogue::Value_bytes const& value, unsigned component) {
  switch (kind(type)) {
    case catalogue::Kind::truth:
      return float(value[component]);
    case catalogue::Kind::integer: {
      std::int32_t i;
      std::memcpy(&i, value.data() + 4 * component, 4);
      return float(i);
    }
    default: {
      float f;
      std::memcpy(&f, value.data() + 4 * component, 4);
      return f;
    }
  }
}

namespace {

template <catalogue::Type T>
void store(catalogue::Value_bytes const& value, float* pixel) {
  if constexpr (kind(T) == catalogue::Kind::real) {
    float floats[components(T)];
    std::memcpy(floats, value.data(), sizeof floats);
    for (unsigned k = 0; k < components(T); ++k) pixel[k] = floats[k];
  } else {
    for (unsigned k = 0; k < components(T); ++k) pixel[k] = component_value(T, value, k);
  }
}

}  // namespace

Pixel_store pixel_store(catalogue::Type type) {
  switch (type) {
#define KVX_PIXEL_STORE(t) \
  case catalogue::Type::t:            \
    return &store<catalogue::Type::t>;
    KVX_PIXEL_STORE(bool_) KVX_PIXEL_STORE(bool2) KVX_PIXEL_STORE(bool3) KVX_PIXEL_STORE(bool4)
    KVX_PIXEL_STORE(int_) KVX_PIXEL_STORE(int2) KVX_PIXEL_STORE(int3) KVX_PIXEL_STORE(int4)
    KVX_PIXEL_STORE(float_) KVX_PIXEL_STORE(float2) KVX_PIXEL_STORE(float3) KVX_PIXEL_STORE(float4)
    KVX_PIXEL_STORE(color) KVX_PIXEL_STORE(texture)
#undef KVX_PIXEL_STORE
  }
  return &store<catalogue::Type::float4>;
}

Shaded shade_grid(Network const& network, Network::Node output, catalogue::Type result, Grid grid, Paths paths,
                  unsigned threads, Progress const& progress, Point_inputs const& inputs, std::stop_token stop) {
  Shaded shaded{result, catalogue::components(result), {}, 0, std::nullopt, 0, {}, {}};
  std::size_t const points = std::size_t{grid.width} * grid.height;
  shaded.pixels.resize(points * shaded.channels);
  if (paths == Paths::both) shaded.differs.resize(points);
  if (grid.geometry == Geometry::sphere) shaded.covered.resize(points);
  std::atomic<std::uint64_t> calls{0};
  Mismatches mismatches(shaded.differs.data(), grid.width);

  Pixel_store const store = pixel_store(result);
  auto make_worker = [&]() -> Row_worker {
    auto thread = std::make_shared<Shading_thread>(network, calls);
    set_grid_settings(thread->host(), grid);
    return [&, thread](unsigned y) {
      // Copied out of the closure: the shading calls between their uses
      // would make the compiler read each of them again at every point.
      Shading_thread& shading = *thread;
      Grid const points = grid;
      Network::Node const node = output;
      Paths const path = paths;
      Pixel_store const put = store;
      unsigned const channels = shaded.channels;
      bool const varies = bool(inputs);
      float* pixel = shaded.pixels.data() + std::size_t{y} * points.width * channels;
      std::uint8_t* covered = shaded.covered.empty() ? nullptr : shaded.covered.data() + std::size_t{y} * points.width;
      for (unsigned x = 0; x < points.width; ++x, pixel += channels) {
        bool const on = set_grid_point(shading.host(), points, x, y);
        if (covered) covered[x] = on ? 1 : 0;
        if (!on) {
          std::fill(pixel, pixel + channels, 0.0f);
          continue;
        }
        if (varies) inputs(shading.network(), x, y);
        put(shading.shade(node, path, mismatches, x, y), pixel);
      }
    };
  };
  for_rows(grid.height, threads, make_worker, progress, stop);
  shaded.shader_calls = calls;
  shaded.mismatch = mismatches.first();
  shaded.mismatches = mismatches.count();
  return shaded;
}

}  // namespace kvx::network
