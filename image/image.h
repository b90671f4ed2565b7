// SPDX-License-Identifier: Apache-2.0
// Images of shaded grids, written in the format the file name asks for.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <image/exr.h>

namespace kvx::image {

struct Float_image {
  unsigned width, height, channels;  // 1 to 4 components a pixel
  std::span<float const> pixels;     // rows top to bottom, components interleaved
  std::span<std::uint8_t const> covered = {};  // a byte a pixel, 0 where nothing is; empty: all is
};

// Whether write_image knows the file name's extension: .exr or .png.
bool is_image_name(std::string_view path);

// .exr: 32-bit floats, every bit as computed. .png: 8 bits a component, each
// clamped to [0, 1] (NaN as 0) and scaled without a transfer curve; two
// components become red and green; with `covered`, a PNG has an alpha of 0
// where nothing is (an EXR holds the zeros there). Throws when the file
// cannot be written.
void write_image(std::string const& path, Float_image const& image, Exr_options const& exr = {});

}  // namespace kvx::image
