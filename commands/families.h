// SPDX-License-Identifier: Apache-2.0
// The family of every catalogue row, read from the sections of the table
// (catalogue/shaders.def), as the library's translation units select them.
#pragma once

#include <array>
#include <string_view>

#include <catalogue/catalogue.h>

namespace kvx::commands {

enum class Family { arithmetic, functions, comparison, geometry, texture, state };

constexpr std::string_view title(Family f) {
  constexpr std::string_view titles[] = {"Arithmetic",        "Float functions", "Comparison, selection and logic",
                                         "Vector geometry",   "Texture lookups", "Renderer state"};
  return titles[static_cast<int>(f)];
}

inline constexpr std::array<Family, catalogue::shader_count> families = [] {
  std::array<Family, catalogue::shader_count> family{};
  // One pass over the table per family: KVX_FAMILY(f) is 1 for that family only.
#define KVX_FAMILY_PASS Family::arithmetic
#define KVX_FAMILY_PASS_arithmetic 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_arithmetic
#define KVX_FAMILY_PASS Family::functions
#define KVX_FAMILY_PASS_functions 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_functions
#define KVX_FAMILY_PASS Family::comparison
#define KVX_FAMILY_PASS_comparison 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_comparison
#define KVX_FAMILY_PASS Family::geometry
#define KVX_FAMILY_PASS_geometry 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_geometry
#define KVX_FAMILY_PASS Family::texture
#define KVX_FAMILY_PASS_texture 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_texture
#define KVX_FAMILY_PASS Family::state
#define KVX_FAMILY_PASS_state 1
#include "family_pass.h"
#undef KVX_FAMILY_PASS_state
  return family;
}();
static_assert(families[104] == Family::arithmetic && families[105] == Family::functions &&
              families[356] == Family::comparison && families[366] == Family::geometry &&
              families[352] == Family::texture && families[401] == Family::state);

}  // namespace kvx::commands
