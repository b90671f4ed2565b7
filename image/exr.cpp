// SPDX-License-Identifier: Apache-2.0
#include <image/exr.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>
#include <ImfThreading.h>

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

Imf::Compression compression_of(Exr_compression compression) {
  switch (compression) {
    case Exr_compression::none: return Imf::NO_COMPRESSION;
    case Exr_compression::rle: return Imf::RLE_COMPRESSION;
    case Exr_compression::zips: return Imf::ZIPS_COMPRESSION;
    case Exr_compression::piz: return Imf::PIZ_COMPRESSION;
    default: return Imf::ZIP_COMPRESSION;
  }
}

// The file's header and frame buffer over `pixels`, and its writing to `out`.
template <class Out>
void write_to(Out&& out, unsigned width, unsigned height, unsigned channels, std::span<float const> pixels,
              Exr_options const& options) {
  static constexpr char const* names[4][4] = {{"Y"}, {"R", "G"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
  if (channels < 1 || channels > 4) throw std::invalid_argument("an image has 1 to 4 channels");
  Imf::Header header(static_cast<int>(width), static_cast<int>(height));
  header.compression() = compression_of(options.compression);
  Imf::FrameBuffer frame;
  std::size_t const pixel_stride = sizeof(float) * channels;
  for (unsigned c = 0; c < channels; ++c) {
    header.channels().insert(names[channels - 1][c], Imf::Channel(Imf::FLOAT));
    // The library's slice wants a writable base; it only reads from it here.
    char* base = reinterpret_cast<char*>(const_cast<float*>(pixels.data() + c));
    frame.insert(names[channels - 1][c], Imf::Slice(Imf::FLOAT, base, pixel_stride, pixel_stride * width));
  }
  // The library's pool compresses line blocks at once and writes them in order.
  int const threads = options.threads > 1 ? static_cast<int>(options.threads) : 0;
  if (threads > 0 && Imf::globalThreadCount() < threads) Imf::setGlobalThreadCount(threads);
  Imf::OutputFile file(out, header, threads);
  file.setFrameBuffer(frame);
  file.writePixels(static_cast<int>(height));
}

}  // namespace

std::optional<Exr_compression> parse_exr_compression(std::string_view name) {
  if (name == "none") return Exr_compression::none;
  if (name == "rle") return Exr_compression::rle;
  if (name == "zips") return Exr_compression::zips;
  if (name == "zip") return Exr_compression::zip;
  if (name == "piz") return Exr_compression::piz;
  return std::nullopt;
}

void write_exr(std::string const& path, unsigned width, unsigned height, unsigned channels,
               std::span<float const> pixels, Exr_options const& options) {
  write_to(path.c_str(), width, height, channels, pixels, options);
}

std::string exr_bytes(unsigned width, unsigned height, unsigned channels, std::span<float const> pixels,
                      Exr_options const& options) {
  Memory_stream stream;
  write_to(static_cast<Imf::OStream&>(stream), width, height, channels, pixels, options);
  return stream.take();
}

}  // namespace kvx::image
