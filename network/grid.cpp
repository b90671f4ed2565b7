// SPDX-License-Identifier: Apache-2.0
#include <network/grid.h>

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

#include <network/batch_shading.h>
#include <network/shading_thread.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <memory>

namespace kvx::network {

namespace {
constexpr std::size_t large_page = std::size_t{2} << 20;
}  // namespace

namespace {

// The last large picture freed, kept for the next that fits it: a program
// that shades again and again (the live editor, a benchmark) does not have
// the kernel clear and map its pages every time.
struct Kept_picture {
  std::mutex lock;
  void* memory = nullptr;
  std::size_t bytes = 0;
};
Kept_picture& kept_picture() {
  static Kept_picture kept;
  return kept;
}

std::size_t rounded_to_large_pages(std::size_t bytes) { return (bytes + large_page - 1) / large_page * large_page; }

}  // namespace

// Pictures of a few large pages or more start on a large page and ask for
// them (a hint: without large pages, small ones do).
void* picture_memory(std::size_t bytes) {
  if (bytes < 2 * large_page) return ::operator new(bytes);
  std::size_t const rounded = rounded_to_large_pages(bytes);
  {
    Kept_picture& kept = kept_picture();
    std::lock_guard hold(kept.lock);
    if (kept.memory && kept.bytes == rounded) return std::exchange(kept.memory, nullptr);
  }
  void* memory = std::aligned_alloc(large_page, rounded);
  if (!memory) throw std::bad_alloc();
  ::madvise(memory, rounded, MADV_HUGEPAGE);
  return memory;
}

void free_picture_memory(void* memory, std::size_t bytes) noexcept {
  if (bytes < 2 * large_page) {
    ::operator delete(memory);
    return;
  }
  Kept_picture& kept = kept_picture();
  std::lock_guard hold(kept.lock);
  std::free(kept.memory);
  kept.memory = memory;
  kept.bytes = rounded_to_large_pages(bytes);
}

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

// The unit sphere at the origin, seen by the orthographic camera looking down
// -z, as large as the picture's shorter side: pixel (x, y) is at
// s = (2x + 1 - width, height - 2y - 1) / min(width, height), on the sphere
// where |s| <= 1, at (s, sqrt(1 - |s|^2)), which is also its normal; the ray
// comes from z = 2. Its u and v are longitude and latitude:
// u = 1/2 + atan2(x, z) / 2 pi, v = 1/2 + asin(y) / pi.
Grid_point grid_point(Grid grid, unsigned x, unsigned y) {
  Grid_point point;
  point.raster = {float(x) + 0.5f, float(y) + 0.5f};
  if (grid.geometry == Geometry::plane) {
    float const u = grid_u(grid, x), v = grid_v(grid, y);
    point.on = true;
    point.uv = {u, v};
    point.position = {u, v, 0};
    point.origin = {u, v, 1};
    point.normal = {0, 0, 1};
    point.ray_length = 1.0f;
    point.dot_nd = -1.0f;
    return point;
  }
  float const side = float(std::min(grid.width, grid.height));
  float const sx = (2.0f * float(x) + 1.0f - float(grid.width)) / side;
  float const sy = (float(grid.height) - 2.0f * float(y) - 1.0f) / side;
  float const r2 = sx * sx + sy * sy;
  if (!(r2 <= 1.0f)) return point;
  float const z = std::sqrt(1.0f - r2);
  constexpr float pi = 3.14159265358979f;
  point.on = true;
  point.uv = {0.5f + std::atan2(sx, z) / (2.0f * pi), 0.5f + std::asin(std::clamp(sy, -1.0f, 1.0f)) / pi};
  point.position = {sx, sy, z};
  point.origin = {sx, sy, 2.0f};
  point.normal = {sx, sy, z};
  point.ray_length = 2.0f - z;
  point.dot_nd = -z;
  return point;
}

std::vector<unsigned> varying_state(Grid grid) {
  using catalogue::find;
  std::vector<unsigned> varying;
  for (char const* name : {"State_raster", "State_parametric_uv", "State_position", "State_origin"})
    varying.push_back(find(name)->index);
  if (grid.geometry == Geometry::sphere)
    for (char const* name : {"State_normal", "State_geometry_normal", "State_ray_length", "State_dot_nd"})
      varying.push_back(find(name)->index);
  return varying;
}

bool set_grid_point(host::Reference_host& host, Grid grid, unsigned x, unsigned y) {
  using catalogue::state_id;
  Grid_point const point = grid_point(grid, x, y);
  host.set_float2(state_id("State_raster"), point.raster);
  if (!point.on) return false;
  host.set_float2(state_id("State_parametric_uv"), point.uv);
  host.set_float3(state_id("State_position"), point.position);
  host.set_float3(state_id("State_origin"), point.origin);
  if (grid.geometry == Geometry::sphere) {
    host.set_float3(state_id("State_normal"), point.normal);
    host.set_float3(state_id("State_geometry_normal"), point.normal);
    host.record().set_normal(point.normal);
    host.set_float(state_id("State_ray_length"), point.ray_length);
    host.set_float(state_id("State_dot_nd"), point.dot_nd);
  }
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

Shaded shade_grid_in_batches(Network const& network, Network::Node output, catalogue::Type result, Grid grid,
                             Paths paths, unsigned threads, Progress const& progress, std::stop_token stop);

namespace {

}  // namespace

namespace {
bool reads_field(std::array<bool, state_shaders> const& reads, char const* shader) {
  return reads[catalogue::find(shader)->index - first_state_shader];
}
}  // namespace

Grid_block::Grid_block(Grid grid, std::size_t block, std::array<bool, state_shaders> const& reads)
    : grid_(grid),
      raster_read_(reads_field(reads, "State_raster")),
      uv_read_(reads_field(reads, "State_parametric_uv")),
      position_read_(reads_field(reads, "State_position")),
      origin_read_(reads_field(reads, "State_origin")) {
  for (auto* values : {&raster_, &uv_}) values->resize(2 * block);
  for (auto* values : {&position_, &origin_, &normal_}) values->resize(3 * block);
  for (auto* values : {&ray_length_, &dot_nd_}) values->resize(block);
  on_.assign(block, 1);
  fields_.set("State_raster", raster_.data(), 8);
  fields_.set("State_parametric_uv", uv_.data(), 8);
  fields_.set("State_position", position_.data(), 12);
  fields_.set("State_origin", origin_.data(), 12);
  if (grid.geometry == Geometry::sphere) {
    fields_.set("State_normal", normal_.data(), 12);
    fields_.set("State_geometry_normal", normal_.data(), 12);
    fields_.set("State_ray_length", ray_length_.data(), 4);
    fields_.set("State_dot_nd", dot_nd_.data(), 4);
  }
}

Block_state const& Grid_block::fill(unsigned x, unsigned y, std::size_t count) {
  if (grid_.geometry == Geometry::plane) {
    // grid_point's plane, a field at a time, the ones read: loops the
    // compiler widens.
    float const v = grid_v(grid_, y), raster_y = float(y) + 0.5f;
    if (raster_read_)
      for (std::size_t i = 0; i < count; ++i)
        raster_[2 * i] = float(x + static_cast<unsigned>(i)) + 0.5f, raster_[2 * i + 1] = raster_y;
    if (uv_read_)
      for (std::size_t i = 0; i < count; ++i)
        uv_[2 * i] = grid_u(grid_, x + static_cast<unsigned>(i)), uv_[2 * i + 1] = v;
    if (position_read_)
      for (std::size_t i = 0; i < count; ++i)
        position_[3 * i] = grid_u(grid_, x + static_cast<unsigned>(i)), position_[3 * i + 1] = v,
        position_[3 * i + 2] = 0.0f;
    if (origin_read_)
      for (std::size_t i = 0; i < count; ++i)
        origin_[3 * i] = grid_u(grid_, x + static_cast<unsigned>(i)), origin_[3 * i + 1] = v,
        origin_[3 * i + 2] = 1.0f;
    return fields_.state();
  }
  for (std::size_t i = 0; i < count; ++i) {
    Grid_point const p = grid_point(grid_, x + static_cast<unsigned>(i), y);
    on_[i] = p.on;
    std::memcpy(&raster_[2 * i], &p.raster, 8);
    std::memcpy(&uv_[2 * i], &p.uv, 8);
    std::memcpy(&position_[3 * i], &p.position, 12);
    std::memcpy(&origin_[3 * i], &p.origin, 12);
    std::memcpy(&normal_[3 * i], &p.normal, 12);
    ray_length_[i] = p.ray_length;
    dot_nd_[i] = p.dot_nd;
  }
  return fields_.state();
}

std::array<bool, state_shaders> Grid_block::varies(Grid grid) {
  std::array<bool, state_shaders> varies{};
  for (unsigned index : varying_state(grid)) varies[index - first_state_shader] = true;
  return varies;
}

namespace {

host::Reference_host& with_grid_settings(host::Reference_host& host, Grid grid) {
  set_grid_settings(host, grid);
  return host;
}

// Point i of a node's batch values.
catalogue::Value_bytes value_at(kvx_batch_values values, std::size_t i, unsigned width) {
  catalogue::Value_bytes value{};
  std::memcpy(value.data(), static_cast<unsigned char const*>(values.data) + static_cast<std::ptrdiff_t>(i) * values.stride,
              width);
  return value;
}

}  // namespace

Shaded shade_grid(Network const& network, Network::Node output, catalogue::Type result, Grid grid, Paths paths,
                  unsigned threads, Progress const& progress, Point_inputs const& inputs, std::stop_token stop) {
  if (runs_batch(paths) && !inputs) return shade_grid_in_batches(network, output, result, grid, paths, threads, progress, stop);
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

// The batch path: each thread's rows a block of points at a time.
Shaded shade_grid_in_batches(Network const& network, Network::Node output, catalogue::Type result, Grid grid,
                             Paths paths, unsigned threads, Progress const& progress, std::stop_token stop) {
  Shaded shaded{result, catalogue::components(result), {}, 0, std::nullopt, 0, {}, {}};
  std::size_t const points = std::size_t{grid.width} * grid.height;
  shaded.pixels.resize(points * shaded.channels);
  bool const all = paths == Paths::all;
  if (all) shaded.differs.resize(points);
  if (grid.geometry == Geometry::sphere) shaded.covered.resize(points);
  std::atomic<std::uint64_t> calls{0};
  Mismatches mismatches(shaded.differs.data(), grid.width);
  std::vector<Network::Node> const order = network.order(output);
  auto const varies = Grid_block::varies(grid);
  Pixel_store const store = pixel_store(result);
  unsigned const width = catalogue::width(result);
  bool const floats = kind(result) == catalogue::Kind::real;

  auto make_worker = [&]() -> Row_worker {
    struct Worker {
      Worker(Network const& network, Network::Node output, Grid grid, std::array<bool, state_shaders> const& varies,
             bool all, std::atomic<std::uint64_t>& calls)
          : thread(network, calls),
            batch(network, output, with_grid_settings(thread.host(), grid), varies, all),
            fields(grid, batch.block(), batch.reads()),
            calls(calls) {}
      ~Worker() { calls += evaluations; }
      Shading_thread thread;
      Batch_shading batch;
      Grid_block fields;
      std::atomic<std::uint64_t>& calls;
      std::uint64_t evaluations = 0;
    };
    auto worker = std::make_shared<Worker>(network, output, grid, varies, all, calls);
    return [&, worker](unsigned y) {
      Worker& w = *worker;
      std::size_t const block = w.batch.block();
      for (unsigned x = 0; x < grid.width; x += static_cast<unsigned>(block)) {
        std::size_t const count = std::min<std::size_t>(block, grid.width - x);
        kvx_batch_values const values = w.batch.shade(count, w.fields.fill(x, y, count));
        w.evaluations += count * order.size();
        std::size_t const at = std::size_t{y} * grid.width + x;
        float* pixel = shaded.pixels.data() + at * shaded.channels;
        if (floats && values.stride == static_cast<std::ptrdiff_t>(width))
          std::memcpy(pixel, values.data, count * width);
        else
          for (std::size_t i = 0; i < count; ++i) store(value_at(values, i, width), pixel + i * shaded.channels);
        if (grid.geometry == Geometry::plane && !all) continue;  // every point on it, nothing compared
        for (std::size_t i = 0; i < count; ++i) {
          bool const on = w.fields.on(i);
          if (!shaded.covered.empty()) shaded.covered[at + i] = on ? 1 : 0;
          if (!on) std::fill(pixel + i * shaded.channels, pixel + (i + 1) * shaded.channels, 0.0f);
          else if (all) {
            set_grid_point(w.thread.host(), grid, x + static_cast<unsigned>(i), y);
            compare_instances(w.thread, w.batch, order, i, x + static_cast<unsigned>(i), y, mismatches);
          }
        }
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
