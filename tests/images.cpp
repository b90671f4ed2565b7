// SPDX-License-Identifier: Apache-2.0
#include "images.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

namespace kvx::test {

Exr read_exr(std::string const& path) {
  Imf::InputFile file(path.c_str());
  auto const window = file.header().dataWindow();
  Exr image;
  image.width = window.max.x - window.min.x + 1;
  image.height = window.max.y - window.min.y + 1;
  for (auto c = file.header().channels().begin(); c != file.header().channels().end(); ++c) {
    if (c.channel().type != Imf::FLOAT) throw std::runtime_error(path + ": channel " + c.name() + " is not float");
    image.channels.emplace_back(c.name());
  }
  image.planes.resize(image.channels.size(), std::vector<float>(std::size_t(image.width) * image.height));
  Imf::FrameBuffer frame;
  for (std::size_t c = 0; c < image.channels.size(); ++c)
    frame.insert(image.channels[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(image.planes[c].data()),
                                               sizeof(float), sizeof(float) * image.width));
  file.setFrameBuffer(frame);
  file.readPixels(window.min.y, window.max.y);
  return image;
}

std::string bits_text(std::vector<float> const& values) {
  std::string text;
  char buffer[16];
  for (float f : values) {
    std::snprintf(buffer, sizeof buffer, "%s0x%08" PRIx32, text.empty() ? "" : " ", std::bit_cast<std::uint32_t>(f));
    text += buffer;
  }
  return "[" + text + "]";
}

}  // namespace kvx::test
