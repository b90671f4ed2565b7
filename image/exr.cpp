// SPDX-License-Identifier: Apache-2.0
#include <image/exr.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace kvx::image {

namespace {

// An OpenEXR output stream into a string.
class Memory_stream final : public Imf::OStream {
 public:
  Memory_stream() : Imf::OStream("memory") {}
  void write(char const c[], int n) override {
    std::size_t const end = at_ + static_cast<std::size_t>(n);
    if (bytes_.size() < end) bytes_.resize(end);
    bytes_.replace(at_, static_cast<std::size_t>(n), c, static_cast<std::size_t>(n));
    at_ = end;
  }
  std::uint64_t tellp() override { return at_; }
  void seekp(std::uint64_t position) override { at_ = static_cast<std::size_t>(position); }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

// The file's header and frame buffer over `pixels`, and its writing to `out`.
template <class Out>
void write_to(Out&& out, unsigned width, unsigned height, unsigned channels, std::span<float const> pixels) {
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
  Imf::OutputFile file(out, header, 0);  // no threads of its own: the bytes come out the same
  file.setFrameBuffer(frame);
  file.writePixels(static_cast<int>(height));
}

}  // namespace

void write_exr(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<float const> pixels) {
  write_to(path.c_str(), width, height, channels, pixels);
}

std::string exr_bytes(unsigned width, unsigned height, unsigned channels, std::span<float const> pixels) {
  Memory_stream stream;
  write_to(static_cast<Imf::OStream&>(stream), width, height, channels, pixels);
  return stream.take();
}

}  // namespace kvx::image
