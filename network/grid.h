// SPDX-License-Identifier: Apache-2.0
// Shading a network over a grid of points, the way a shader author looks at
// one: every point a flat unit patch facing an orthographic camera, the grid's
// pixel centres its parametric coordinates.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <catalogue/types.h>
#include <host/reference_host.h>
#include <network/batch_shading.h>
#include <network/network.h>
#include <network/paths.h>
#include <network/parallel_rows.h>

namespace kvx::network {

// What the grid's points lie on: a flat unit patch facing the camera, or the
// unit sphere that fills the picture (points off it are not shaded).
enum class Geometry : std::uint8_t { plane, sphere };
std::optional<Geometry> parse_geometry(std::string_view name);

struct Grid {
  unsigned width = 256, height = 256;
  Geometry geometry = Geometry::plane;
};

// Memory for a large picture in the processor's large pages where the
// system offers them: the first writes to a picture fault in a page at a
// time, and at 4 KiB a page that costs more than shading it in batches.
void* picture_memory(std::size_t bytes);
void free_picture_memory(void* memory, std::size_t bytes) noexcept;

// Floats made without a value: a shaded grid writes every one of them before
// anyone reads it, so the image costs no pass of zeros.
template <class T>
struct Unset_allocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = Unset_allocator<U>;
  };
  Unset_allocator() = default;
  template <class U>
  Unset_allocator(Unset_allocator<U> const&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(picture_memory(n * sizeof(T))); }
  void deallocate(T* at, std::size_t n) noexcept { free_picture_memory(at, n * sizeof(T)); }
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};
using Pixels = std::vector<float, Unset_allocator<float>>;

// Texture handles the grid's host answers; any other handle is the host's checker.
namespace grid_texture {
inline constexpr std::uint32_t checker = 1;  // squares of a tenth of a unit
inline constexpr std::uint32_t ramp = 2;     // the coordinate as a color
}  // namespace grid_texture

// Parametric coordinates of pixel (x, y): its centre, u to the right and v up.
//   u = (x + 0.5) / width,  v = (height - y - 0.5) / height
inline float grid_u(Grid grid, unsigned x) { return (float(x) + 0.5f) / float(grid.width); }
inline float grid_v(Grid grid, unsigned y) { return (float(grid.height - y) - 0.5f) / float(grid.height); }

// What stays the same over the grid: render and camera settings, the state
// that does not vary, the textures.
void set_grid_settings(host::Reference_host& host, Grid grid);

// The state that varies from point to point of a grid: on the plane its
// raster position, uv, position and origin; on the sphere the normal (and
// geometry normal), the ray's length and n·d as well. Nothing off the sphere.
struct Grid_point {
  bool on = false;
  ZR::SHADER::Vector2 raster{}, uv{};
  ZR::SHADER::Vector3 position{}, origin{}, normal{};
  float ray_length = 0, dot_nd = 0;
};
Grid_point grid_point(Grid grid, unsigned x, unsigned y);
// The catalogue indices of the State_ shaders whose fields vary over the grid.
std::vector<unsigned> varying_state(Grid grid);
// Puts the point's state into the host; false for a point off the sphere.
bool set_grid_point(host::Reference_host& host, Grid grid, unsigned x, unsigned y);

// The varying fields of runs of points of a row, as the batch functions
// read them (Batch_shading), and which of the points are on the geometry.
class Grid_block {
 public:
  // Room for `block` points at a time; only the fields `reads` names are
  // filled (by default, all that vary).
  Grid_block(Grid grid, std::size_t block, std::array<bool, state_shaders> const& reads = all_fields());
  // Points x .. x + count - 1 of row y.
  Block_state const& fill(unsigned x, unsigned y, std::size_t count);
  bool on(std::size_t i) const { return on_[i] != 0; }
  // Which State_ shaders' fields vary over the grid.
  static std::array<bool, state_shaders> varies(Grid grid);
  static std::array<bool, state_shaders> all_fields() {
    std::array<bool, state_shaders> all;
    all.fill(true);
    return all;
  }

 private:
  Grid grid_;
  bool raster_read_, uv_read_, position_read_, origin_read_;
  std::vector<float> raster_, uv_, position_, origin_, normal_, ray_length_, dot_nd_;
  std::vector<std::uint8_t> on_;
  Block_fields fields_;
};

struct Shaded {
  catalogue::Type type;    // the output's result type
  unsigned channels;       // its components
  Pixels pixels;  // rows top to bottom, components interleaved
  std::uint64_t shader_calls = 0;
  // With Paths::both: the first point where the interfaces' bits differ, how
  // many do, and a mask of them, one byte a point in the pixels' order, 1
  // where they differ (empty with one path).
  std::optional<Mismatch> mismatch;
  std::uint64_t mismatches = 0;
  std::vector<std::uint8_t> differs;
  // On the sphere: a byte a point, 1 where the sphere is (the pixels
  // elsewhere are zeros); empty on the plane.
  std::vector<std::uint8_t> covered;
};

// A component as a float: floats as they are, ints and truth bytes as their values.
float component_value(catalogue::Type type, catalogue::Value_bytes const& value, unsigned component);
// Puts all of a value's components so into `pixel`; one for each result type,
// chosen once for a grid.
using Pixel_store = void (*)(catalogue::Value_bytes const& value, float* pixel);
Pixel_store pixel_store(catalogue::Type type);

// Sets constants that vary over the grid in a thread's copy of the network,
// before point (x, y) is evaluated.
using Point_inputs = std::function<void(Network& network, unsigned x, unsigned y)>;

// The output node's result at every point. With Paths::both each point is
// evaluated through both interfaces and the pixels hold the C entries' values.
// A stop requested through `stop` leaves the rows not yet begun unwritten:
// their floats are whatever the allocation held, and the picture is only
// for discarding.
Shaded shade_grid(Network const& network, Network::Node output, catalogue::Type result, Grid grid, Paths paths,
                  unsigned threads, Progress const& progress = {}, Point_inputs const& inputs = {},
                  std::stop_token stop = {});

}  // namespace kvx::network
