#include <network/grid.h>

#include <cmath>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

namespace kvx::host {

namespace {

float fraction(float c) { return c - std::floor(c); }

// Cube lookups map a direction from [-1, 1] to [0, 1]; the others take the
// fractional part of each coordinate given, 0.5 for the ones not given.
ZR::SHADER::Color ramp(Lookup lookup, float const* coordinate) {
  if (lookup == Lookup::texcube)
    return {0.5f * coordinate[0] + 0.5f, 0.5f * coordinate[1] + 0.5f, 0.5f * coordinate[2] + 0.5f, 1.0f};
  unsigned const given = lookup == Lookup::tex1d ? 1 : lookup == Lookup::tex2d ? 2 : 3;
  float c[3] = {0.5f, 0.5f, 0.5f};
  for (unsigned i = 0; i < given; ++i) c[i] = fraction(coordinate[i]);
  return {c[0], c[1], c[2], 1.0f};
}

}  // namespace

float grid_u(Grid grid, unsigned x) { return (float(x) + 0.5f) / float(grid.width); }
float grid_v(Grid grid, unsigned y) { return (float(grid.height - y) - 0.5f) / float(grid.height); }

void set_grid_settings(Host& host, Grid grid) {
  using namespace grid_state;
  int const w = static_cast<int>(grid.width), h = static_cast<int>(grid.height);
  host.set_float3(direction, {0, 0, -1});
  host.set_float3(normal, {0, 0, 1});
  host.set_float3(geometry_normal, {0, 0, 1});
  host.record().set_normal({0, 0, 1});
  host.set_float3(motion, {0, 0, 0});
  host.set_float(ray_length, 1.0f);
  host.set_float(dot_nd, -1.0f);
  host.set_int(backside, 0);
  host.set_int(inside, 0);
  host.set_float(importance, 1.0f);
  host.set_float(incident_ior, 1.0f);
  host.set_float(refracted_ior, 1.0f);

  host.set_render_int(animation_frame, 1);
  for (int id : {animation_time, shutter_time, shutter_duration, shutter_position, shutter_open, shutter_close})
    host.set_render_float(id, 0.0f);
  host.set_render_int(x_resolution, w);
  host.set_render_int(y_resolution, h);
  host.set_render_int(window_left, 0);
  host.set_render_int(window_right, w - 1);
  host.set_render_int(window_top, 0);
  host.set_render_int(window_bottom, h - 1);

  host.set_camera_int(orthographic, 1);
  host.set_camera_float(focal_length, 1.0f);
  host.set_camera_float(aperture, 0.0f);
  host.set_camera_float(aspect_ratio, float(grid.width) / float(grid.height));
  host.set_camera_float2(camera_offset, {0, 0});
  host.set_camera_float(near_clip, 0.1f);
  host.set_camera_float(far_clip, 1000.0f);

  host.set_texture(grid_texture::ramp, ramp);
}

void set_grid_point(Host& host, Grid grid, unsigned x, unsigned y) {
  using namespace grid_state;
  float const u = grid_u(grid, x), v = grid_v(grid, y);
  host.set_float2(grid_state::uv, {u, v});
  host.set_float3(position, {u, v, 0});
  host.set_float3(origin, {u, v, 1});
  host.set_float2(raster, {float(x) + 0.5f, float(y) + 0.5f});
}

float component_value(Type type, Value_bytes const& value, unsigned component) {
  switch (kind(type)) {
    case Kind::truth:
      return float(value[component]);
    case Kind::integer: {
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

// One thread's host and copy of the network.
struct Shading_thread {
  Shading_thread(Network const& source, Grid grid, std::atomic<std::uint64_t>& total)
      : network(source), total(total) {
    set_grid_settings(host, grid);
  }
  ~Shading_thread() { total += network.shader_calls(); }

  Host host;
  Network network;
  std::atomic<std::uint64_t>& total;
};

}  // namespace

Shaded shade_grid(Network const& network, Network::Node output, Type result, Grid grid, Paths paths,
                  unsigned threads, Progress const& progress, Point_inputs const& inputs) {
  Shaded shaded{grid, result, components(result), {}, 0, std::nullopt};
  shaded.pixels.resize(std::size_t{grid.width} * grid.height * shaded.channels);
  std::atomic<std::uint64_t> calls{0};
  std::mutex mismatch_lock;  // taken only where the paths differ
  unsigned const bytes = width(result);

  auto record_mismatch = [&](unsigned x, unsigned y, Value_bytes const& c, Value_bytes const& cpp) {
    std::lock_guard lock(mismatch_lock);
    auto& first = shaded.mismatch;
    if (!first || std::pair(y, x) < std::pair(first->y, first->x)) first = Mismatch{x, y, c, cpp};
  };

  auto make_worker = [&]() -> Row_worker {
    auto thread = std::make_shared<Shading_thread>(network, grid, calls);
    return [&, thread](unsigned y) {
      float* pixel = shaded.pixels.data() + std::size_t{y} * grid.width * shaded.channels;
      for (unsigned x = 0; x < grid.width; ++x, pixel += shaded.channels) {
        set_grid_point(thread->host, grid, x, y);
        if (inputs) inputs(thread->network, x, y);
        thread->network.next_point();
        Value_bytes const value =
            thread->network.evaluate(output, thread->host, paths == Paths::cpp ? Network::Path::cpp : Network::Path::c);
        if (paths == Paths::both) {
          thread->network.next_point();
          Value_bytes const& other = thread->network.evaluate(output, thread->host, Network::Path::cpp);
          if (std::memcmp(value.data(), other.data(), bytes) != 0) record_mismatch(x, y, value, other);
        }
        for (unsigned k = 0; k < shaded.channels; ++k) pixel[k] = component_value(result, value, k);
      }
    };
  };
  for_rows(grid.height, threads, make_worker, progress);
  shaded.shader_calls = calls;
  return shaded;
}

}  // namespace kvx::host
