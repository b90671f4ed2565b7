#include "png.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace kvx::tool {

std::string write_png(std::string const& path, unsigned width, unsigned height, std::vector<std::uint8_t> const& rgb) {
  std::unique_ptr<FILE, int (*)(FILE*)> file{std::fopen(path.c_str(), "wb"), &std::fclose};
  if (!file) return "cannot write " + path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "libpng could not start";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "libpng failed writing " + path;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (unsigned y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb.data() + std::size_t{y} * width * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return {};
}

}  // namespace kvx::tool
