// SPDX-License-Identifier: Apache-2.0
#include <image/exr.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <stdexcept>

namespace kvx::image {

void write_exr(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<float const> pixels) {
  static constexpr char const* names[4][4] = {{"Y"}, {"R", "G"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
  if (channels < 1 || channels > 4) throw std::invalid_argument("an image has 1 to 4 channels");
  Imf::Header header(static_cast<int>(width), static_cast<int>(height));
  Imf::FrameBuffer frame;
  std::size_t const pixel_stride = sizeof(float) * channels;
  for (unsigned c = 0; c < channels; ++c) {
    header.channels().insert(names[channels - 1][c], Imf::Channel(Imf::FLOAT));
    // The library's slice wants a writable base; it only reads from it here.
    char* base = reinterpret_cast<char*>(const_cast<float*>(pixels.data() + c));
    frame.insert(names[channels - 1][c], Imf::Slice(Imf::FLOAT, base, pixel_stride, pixel_stride * width));
  }
  Imf::OutputFile file(path.c_str(), header, 0);  // no threads of its own: the bytes come out the same
  file.setFrameBuffer(frame);
  file.writePixels(static_cast<int>(height));
}

}  // namespace kvx::image
