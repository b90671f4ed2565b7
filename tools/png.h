// Writes 8-bit RGB images as PNG through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::tool {

// rgb holds width * height * 3 bytes, rows top to bottom. Returns an error
// message, empty on success.
std::string write_png(std::string const& path, unsigned width, unsigned height, std::vector<std::uint8_t> const& rgb);

}  // namespace kvx::tool
