// SPDX-License-Identifier: Apache-2.0
// Writes 32-bit float images as OpenEXR.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kvx::image {

// How an EXR's floats are compressed: every one keeps every bit. zip (the
// default) is small; none is fastest to write and to read.
enum class Exr_compression : std::uint8_t { none, rle, zips, zip, piz };
std::optional<Exr_compression> parse_exr_compression(std::string_view name);
inline constexpr char const* exr_compressions = "none, rle, zips, zip or piz";

struct Exr_options {
  Exr_compression compression = Exr_compression::zip;
  unsigned threads = 1;  // compressing blocks of lines at once; the bytes are the same with any number
};

// `pixels` holds width * height * channels floats, rows top to bottom. The
// channels are named Y; R, G; R, G, B; or R, G, B, A. Throws on failure.
void write_exr(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<float const> pixels, Exr_options const& options = {});
// The same file's bytes, made in memory.
std::string exr_bytes(unsigned width, unsigned height, unsigned channels, std::span<float const> pixels,
                      Exr_options const& options = {});

}  // namespace kvx::image
