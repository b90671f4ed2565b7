// SPDX-License-Identifier: Apache-2.0
#include <network/paths.h>

#include <network/values.h>

namespace kvx::network {

std::optional<Paths> parse_paths(std::string_view text) {
  if (text == "c") return Paths::c;
  if (text == "cpp") return Paths::cpp;
  if (text == "both") return Paths::both;
  if (text == "batch") return Paths::batch;
  if (text == "all") return Paths::all;
  return std::nullopt;
}

char const* paths_keyword(Paths paths) {
  switch (paths) {
    case Paths::c: return "c";
    case Paths::cpp: return "cpp";
    case Paths::batch: return "batch";
    case Paths::all: return "all";
    default: return "both";
  }
}

char const* path_name(Paths paths) {
  switch (paths) {
    case Paths::c: return "the C entries";
    case Paths::cpp: return "the shader objects";
    case Paths::batch: return "the batch functions";
    case Paths::all: return "all three interfaces";
    default: return "both interfaces";
  }
}

char const* value_name(Paths path) {
  switch (path) {
    case Paths::c: return "C entry";
    case Paths::cpp: return "shader object";
    default: return "batch";
  }
}

std::string mismatch_text(catalogue::Type type, Mismatch const& m, char const* point) {
  std::string const where = m.instance_name.empty() ? "" : " in instance '" + m.instance_name + "'";
  return "the paths differ at " + std::string(point) + " (" + std::to_string(m.x) + ", " + std::to_string(m.y) + ")" +
         where + ": " + format_difference(type, value_name(m.first), m.first_value, value_name(m.second), m.second_value);
}

}  // namespace kvx::network
