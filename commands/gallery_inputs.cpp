// SPDX-License-Identifier: Apache-2.0
#include "gallery_inputs.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvx::commands {

namespace {

struct Ranges {
  std::string_view operations;  // space-separated
  Input_range plot, grid;
};

constexpr float pi = 3.14159265f;

// Ranges that show an operation's shape; everything else plots over [-4, 4]
// and sweeps [0, 1] over the grid.
constexpr Ranges ranges[] = {
    {"sin cos", {-2 * pi, 2 * pi}, {-pi, pi}},
    {"tan", {-pi, pi}, {-1.5f, 1.5f}},
    {"asin acos", {-1.5f, 1.5f}, {-1.25f, 1.25f}},
    {"atan", {-8, 8}, {-4, 4}},
    {"atan2 dot length distance normalize cross reflect refract faceforward", {-4, 4}, {-1, 1}},
    {"exp exp2", {-4, 3}, {-2, 1}},
    {"log log2 log10 sqrt rsqrt", {-1, 8}, {-0.25f, 2}},
    {"floor ceil round frac fmod", {-3, 3}, {-2, 2}},
    {"degrees", {-pi, pi}, {-0.02f, 0.02f}},
    {"radians", {-180, 180}, {-60, 60}},
    {"saturate", {-1, 2}, {-0.5f, 1.5f}},
    {"sign abs", {-2, 2}, {-1, 1}},
    {"pow", {-4, 4}, {0, 2}},
};

Ranges const* ranges_of(std::string_view operation) {
  for (auto const& r : ranges) {
    std::string_view list = r.operations;
    while (!list.empty()) {
      auto const space = list.find(' ');
      if (list.substr(0, space) == operation) return &r;
      list = space == std::string_view::npos ? std::string_view{} : list.substr(space + 1);
    }
  }
  return nullptr;
}

std::string number(float f) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", f);
  return buffer;
}

}  // namespace

bool is_plotted(catalogue::Shader const& s) {
  return s.typed && s.type == catalogue::Type::float_ && s.parameter_count == 1 &&
         s.parameter_list[0].type == catalogue::Type::float_;
}

Input_range plot_range(std::string_view operation) {
  auto const* r = ranges_of(operation);
  return r ? r->plot : Input_range{-4, 4};
}

Input_range grid_range(std::string_view operation) {
  auto const* r = ranges_of(operation);
  return r ? r->grid : Input_range{0, 1};
}

catalogue::Value_bytes bound_value(catalogue::Shader const& s, unsigned k, float u, float v) {
  auto const& p = s.parameter_list[k];
  Input_range const range = grid_range(s.operation);
  catalogue::Value_bytes bytes{};
  for (unsigned i = 0; i < components(p.type); ++i) {
    float const t = (k + i) % 2 == 0 ? u : v;
    switch (kind(p.type)) {
      case catalogue::Kind::real: {
        float const f = range.low + (range.high - range.low) * t;
        std::memcpy(bytes.data() + 4 * i, &f, 4);
        break;
      }
      case catalogue::Kind::integer: {
        std::int32_t const n = static_cast<std::int32_t>(std::floor(t * 9.0f)) - 4;
        std::memcpy(bytes.data() + 4 * i, &n, 4);
        break;
      }
      case catalogue::Kind::truth:
        bytes[i] = t > 0.5f ? 1 : 0;
        break;
      case catalogue::Kind::handle: {
        std::uint32_t const checker = 1;
        std::memcpy(bytes.data(), &checker, 4);
        break;
      }
    }
  }
  return bytes;
}

std::string binding_rule(catalogue::Shader const& s) {
  if (is_plotted(s)) {
    Input_range const r = plot_range(s.operation);
    return "input from " + number(r.low) + " to " + number(r.high) + " along the x axis, 401 samples";
  }
  if (!s.parameter_count) return "the grid's state (u to the right, v up)";
  Input_range const r = grid_range(s.operation);
  std::string rule;
  for (unsigned k = 0; k < s.parameter_count; ++k) {
    auto const& p = s.parameter_list[k];
    std::string axes;
    for (unsigned i = 0; i < components(p.type); ++i) axes += std::string(i ? ", " : "") + ((k + i) % 2 ? "v" : "u");
    if (components(p.type) > 1) axes = "(" + axes + ")";
    std::string what;
    switch (kind(p.type)) {
      case catalogue::Kind::real: what = "from " + number(r.low) + " to " + number(r.high) + " along " + axes; break;
      case catalogue::Kind::integer: what = "-4 to 4 in steps along " + axes; break;
      case catalogue::Kind::truth: what = "true past the middle of " + axes; break;
      case catalogue::Kind::handle: what = "handle 1, the checker"; break;
    }
    rule += (k ? "; " : "") + std::string(p.name) + " " + what;
  }
  return rule;
}

float display_value(catalogue::Type result, float value) {
  return kind(result) == catalogue::Kind::integer ? (value + 8.0f) / 16.0f : value;
}

}  // namespace kvx::commands
