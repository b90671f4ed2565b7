// SPDX-License-Identifier: Apache-2.0
// Writes 32-bit float images as OpenEXR.
#pragma once

#include <span>
#include <string>

namespace kvx::image {

// `pixels` holds width * height * channels floats, rows top to bottom. The
// channels are named Y; R, G; R, G, B; or R, G, B, A. Throws on failure.
void write_exr(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<float const> pixels);
// The same file's bytes, made in memory.
std::string exr_bytes(unsigned width, unsigned height, unsigned channels, std::span<float const> pixels);

}  // namespace kvx::image
