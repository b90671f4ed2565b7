// SPDX-License-Identifier: Apache-2.0
// Which of the library's interfaces shades: the C entries, the shader
// objects, the batch functions (over many points at once), or several
// compared bit for bit. The one spelling of the choice for every command and
// the Python module.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <catalogue/types.h>

namespace kvx::network {

// both: the C entries and the shader objects; all: those and the batches.
enum class Paths { c, cpp, both, batch, all };

inline bool runs_c(Paths paths) { return paths == Paths::c || paths == Paths::both || paths == Paths::all; }
inline bool runs_cpp(Paths paths) { return paths == Paths::cpp || paths == Paths::both || paths == Paths::all; }
inline bool runs_batch(Paths paths) { return paths == Paths::batch || paths == Paths::all; }
// Whether several interfaces run, to be compared.
inline bool compares(Paths paths) { return paths == Paths::both || paths == Paths::all; }

// "c", "cpp", "both", "batch" or "all", as written on a command line;
// nothing for anything else.
std::optional<Paths> parse_paths(std::string_view text);
// What the choice is called on a command line, and in a message.
inline constexpr char const* paths_choices = "c, cpp, both, batch or all";
char const* paths_keyword(Paths paths);
// "the C entries", "the shader objects", "both interfaces", "the batch
// functions", "all three interfaces".
char const* path_name(Paths paths);
// What one interface's value is called: "C entry", "shader object", "batch".
char const* value_name(Paths path);

// Where two interfaces first differ, in row-major order, and what each gave;
// with several instances compared, the first instance (in the order the
// network runs) where they do.
struct Mismatch {
  unsigned x, y;
  Paths first, second;  // c, cpp or batch
  catalogue::Value_bytes first_value, second_value;
  std::optional<unsigned> instance;
  std::string instance_name;  // as the caller names it, if it does
};
// "the paths differ at point (x, y)[ in instance NAME]: C entry V [BITS], shader object V [BITS]"
std::string mismatch_text(catalogue::Type type, Mismatch const& mismatch, char const* point = "point");

}  // namespace kvx::network
