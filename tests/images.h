// SPDX-License-Identifier: Apache-2.0
// Reading back what kvx-host writes: EXR files through OpenEXR, and the grid
// coordinates and bit patterns to compare them with `kvx-host eval`.
#pragma once

#include <string>
#include <vector>

namespace kvx::test {

struct Exr {
  int width = 0, height = 0;
  std::vector<std::string> channels;       // in the file's order: by name
  std::vector<std::vector<float>> planes;  // one per channel, rows top to bottom

  float at(unsigned channel, int x, int y) const { return planes[channel][std::size_t(y) * width + x]; }
};

// Every channel must be 32-bit float.
Exr read_exr(std::string const& path);

// The grid's parametric coordinates, as docs/kvx-host.md gives them.
inline float grid_u(unsigned width, unsigned x) { return (float(x) + 0.5f) / float(width); }
inline float grid_v(unsigned height, unsigned y) { return (float(height - y) - 0.5f) / float(height); }

// "[0x3f800000 0x00000000]", as `kvx-host eval` prints bits.
std::string bits_text(std::vector<float> const& values);

}  // namespace kvx::test
