// SPDX-License-Identifier: Apache-2.0
// Which of the library's two interfaces shades: the C entries, the shader
// objects, or both, compared bit for bit. The one spelling of the choice for
// every command and the Python module.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <catalogue/types.h>

namespace kvx::network {

enum class Paths { c, cpp, both };

inline bool runs_c(Paths paths) { return paths != Paths::cpp; }
inline bool runs_cpp(Paths paths) { return paths != Paths::c; }

// "c", "cpp" or "both", as written on a command line; nothing for anything else.
std::optional<Paths> parse_paths(std::string_view text);
// What the choice is called on a command line, and in a message.
inline constexpr char const* paths_choices = "c, cpp or both";
char const* paths_keyword(Paths paths);
// "the C entries", "the shader objects", "both interfaces".
char const* path_name(Paths paths);

// Where the two interfaces first differ, in row-major order, and what each gave.
struct Mismatch {
  unsigned x, y;
  catalogue::Value_bytes c, cpp;
};
// "the paths differ at point (x, y): C entry V [BITS], shader object V [BITS]"
std::string mismatch_text(catalogue::Type type, Mismatch const& mismatch, char const* point = "point");

}  // namespace kvx::network
