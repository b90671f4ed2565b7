// SPDX-License-Identifier: Apache-2.0
#include <network/paths.h>

#include <network/values.h>

namespace kvx::network {

std::optional<Paths> parse_paths(std::string_view text) {
  if (text == "c") return Paths::c;
  if (text == "cpp") return Paths::cpp;
  if (text == "both") return Paths::both;
  return std::nullopt;
}

char const* paths_keyword(Paths paths) {
  switch (paths) {
    case Paths::c: return "c";
    case Paths::cpp: return "cpp";
    default: return "both";
  }
}

char const* path_name(Paths paths) {
  switch (paths) {
    case Paths::c: return "the C entries";
    case Paths::cpp: return "the shader objects";
    default: return "both interfaces";
  }
}

std::string mismatch_text(catalogue::Type type, Mismatch const& m, char const* point) {
  return "the paths differ at " + std::string(point) + " (" + std::to_string(m.x) + ", " + std::to_string(m.y) +
         "): " + format_difference(type, m.c, m.cpp);
}

}  // namespace kvx::network
