// SPDX-License-Identifier: Apache-2.0
// Writes 8-bit images as PNG through libpng.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kvx::image {

// `bytes` holds width * height * channels bytes, rows top to bottom; channels
// 1 is gray, 3 RGB, 4 RGBA. Throws std::runtime_error when it cannot write.
void write_png(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<std::uint8_t const> bytes);

}  // namespace kvx::image
