// SPDX-License-Identifier: Apache-2.0
// A plot of a function of one float as a small self-contained SVG image.
#pragma once

#include <span>
#include <string>

namespace kvx::image {

struct Sample {
  float x, y;  // y may be NaN or infinite
};

// Samples in increasing x. Finite values are drawn as a line, broken where a
// value is missing or jumps by more than half the plot's height; NaN results
// are red ticks under the axis, infinities orange marks at the top or bottom
// edge. The y axis spans the finite values, at most -8 to 8.
std::string svg_plot(std::span<Sample const> samples);

}  // namespace kvx::image
