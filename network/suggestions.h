// SPDX-License-Identifier: Apache-2.0
// "Did you mean …?" for a name that is not known: the known names nearest to
// it, letters' case aside, by edit distance (a letter added, dropped,
// changed, or two swapped). The same in every tool that reads names.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::network {

// Up to three of `known` at the least distance from `asked` (in the order
// given), if that is close enough to be a likely slip.
std::vector<std::string_view> nearest_names(std::string_view asked, std::span<std::string_view const> known);

// "; did you mean 'a'?", "; did you mean 'a' or 'b'?", or nothing.
std::string did_you_mean(std::string_view asked, std::span<std::string_view const> known);

// The shaders `asked` may mean: those whose operation goes by that name
// elsewhere (Math_float_mix, mix), else the nearest slips of the catalogue's
// names.
std::vector<std::string_view> shader_suggestions(std::string_view asked);

// "; did you mean …?" for the names given, or nothing.
std::string asking(std::vector<std::string_view> const& names);

// asking(shader_suggestions(asked)).
std::string did_you_mean_shader(std::string_view asked);

}  // namespace kvx::network
