// SPDX-License-Identifier: Apache-2.0
// What the tools shade and take at most: every command, the live editor's
// server and the Python module refuse beyond these, with these numbers.
#pragma once

#include <cstddef>

namespace kvx::network {

// Points a side of a grid or image: 8192 × 8192 of a float is 256 MiB.
inline constexpr unsigned max_grid_side = 8192;
// Points a side of each of the gallery's 402 pictures.
inline constexpr unsigned max_gallery_side = 1024;
// Threads that shade at once.
inline constexpr unsigned max_threads = 256;
// The body of a request to the live editor's server.
inline constexpr std::size_t max_request_bytes = std::size_t{8} << 20;
// A picture the live editor's server shades: width × height × components × 4 bytes.
inline constexpr std::size_t max_picture_bytes = std::size_t{256} << 20;

}  // namespace kvx::network
