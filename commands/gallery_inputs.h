// SPDX-License-Identifier: Apache-2.0
// What the gallery feeds each shader: a plot's input range for the shaders of
// one float input, and for the others the binding of every parameter to the
// grid's coordinates (u, v). docs/kvx-host.md states the same rule.
#pragma once

#include <string>
#include <string_view>

#include <catalogue/catalogue.h>
#include <host/parameter_block.h>

namespace kvx::commands {

struct Input_range {
  float low, high;
};

// Shaders of one float input, shown as a plot of the result against it.
bool is_plotted(catalogue::Shader const& shader);
// The plot's input range for the operation.
Input_range plot_range(std::string_view operation);
// The range float parameters sweep over the grid for the operation.
Input_range grid_range(std::string_view operation);

// The value of parameter k at grid coordinates (u, v). Component i follows u
// where k + i is even and v where it is odd: floats low + (high - low) * t,
// ints floor(9 t) - 4, bools t > 0.5; textures are handle 1, the checker.
catalogue::Value_bytes bound_value(catalogue::Shader const& shader, unsigned k, float u, float v);

// The binding rule for this shader, as the page states it.
std::string binding_rule(catalogue::Shader const& shader);

// A result component as the picture shows it: floats as they are, ints as
// (value + 8) / 16, truth values as 0 or 1; the image then clamps to [0, 1].
float display_value(catalogue::Type result, float value);

}  // namespace kvx::commands
