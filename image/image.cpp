// SPDX-License-Identifier: Apache-2.0
#include <image/image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <image/exr.h>
#include <image/png.h>

namespace kvx::image {

namespace {

bool ends_with(std::string_view path, std::string_view extension) {
  return path.size() > extension.size() &&
         std::equal(extension.rbegin(), extension.rend(), path.rbegin(),
                    [](char e, char p) { return e == std::tolower(static_cast<unsigned char>(p)); });
}

std::uint8_t to_byte(float value) {
  float const clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
  return static_cast<std::uint8_t>(std::lround(clamped * 255.0f));
}

void write_8bit_png(std::string const& path, Float_image const& image) {
  bool const alpha = !image.covered.empty();
  // With coverage, every picture gets an alpha: RGBA, a gray one's gray in all three.
  unsigned const channels = alpha ? 4 : image.channels == 2 ? 3 : image.channels;
  std::vector<std::uint8_t> bytes(std::size_t{image.width} * image.height * channels);
  std::size_t const pixels = std::size_t{image.width} * image.height;
  for (std::size_t p = 0; p < pixels; ++p) {
    float const* pixel = image.pixels.data() + p * image.channels;
    std::uint8_t* out = bytes.data() + p * channels;
    for (unsigned c = 0; c < channels; ++c)
      out[c] = c < image.channels ? to_byte(pixel[c]) : 0;
    if (!alpha) continue;
    if (image.channels == 1) out[1] = out[2] = out[0];
    if (image.channels < 4) out[3] = 255;
    if (!image.covered[p]) out[3] = 0;
  }
  write_png(path, image.width, image.height, channels, bytes);
}

}  // namespace

bool is_image_name(std::string_view path) { return ends_with(path, ".exr") || ends_with(path, ".png"); }

void write_image(std::string const& path, Float_image const& image, Exr_options const& exr) {
  if (ends_with(path, ".exr"))
    write_exr(path, image.width, image.height, image.channels, image.pixels, exr);
  else
    write_8bit_png(path, image);
}

}  // namespace kvx::image
