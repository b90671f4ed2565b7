// SPDX-License-Identifier: Apache-2.0
// What each shader computes, in one line, and the names other shading
// languages give its operation: made per operation from the catalogue, so a
// shader's text follows its type (per component, wrapping for the int kinds,
// the float's NaN rules), never written out per shader. `kvx-host describe`,
// `list --json`, the gallery, the live editor and the Python module show them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include <catalogue/catalogue.h>

namespace kvx::network {

// One line, precise enough to predict the value (the order of the float
// operations is the catalogue's, as docs/kvx-host.md says).
std::string description(catalogue::Shader const& shader);

// Usual names of the operation elsewhere ("mix" for lerp, "fract" for frac),
// for searching: none of them is a name in this catalogue.
std::span<std::string_view const> other_names(catalogue::Shader const& shader);

}  // namespace kvx::network
