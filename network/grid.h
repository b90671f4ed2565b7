// SPDX-License-Identifier: Apache-2.0
// Shading a network over a grid of points, the way a shader author looks at
// one: every point a flat unit patch facing an orthographic camera, the grid's
// pixel centres its parametric coordinates.
#pragma once

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

// Floats made without a value: a shaded grid writes every one of them before
// anyone reads it, so the image costs no pass of zeros.
template <class T>
struct Unset_allocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = Unset_allocator<U>;
  };
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
// The state that varies from point to point; false for a point off the
// sphere, which has none.
bool set_grid_point(host::Reference_host& host, Grid grid, unsigned x, unsigned y);

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
