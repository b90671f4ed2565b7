// SPDX-License-Identifier: Apache-2.0
#include <image/plot.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kvx::image {

namespace {

constexpr double width = 320, height = 200, left = 34, right = 8, top = 10, bottom = 30;
constexpr double y_limit = 8;

std::string format(char const* pattern, double a, double b = 0, double c = 0, double d = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, pattern, a, b, c, d);
  return buffer;
}

std::string label(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", value);
  return buffer;
}

}  // namespace

std::string svg_plot(std::span<Sample const> samples) {
  double x_low = samples.front().x, x_high = samples.back().x;
  double y_low = INFINITY, y_high = -INFINITY;
  for (auto const& s : samples)
    if (std::isfinite(s.y)) y_low = std::min(y_low, double(s.y)), y_high = std::max(y_high, double(s.y));
  if (y_low > y_high) y_low = -1, y_high = 1;
  y_low = std::max(y_low, -y_limit), y_high = std::min(y_high, y_limit);
  if (y_high - y_low < 1e-6) y_low -= 1, y_high += 1;
  double const pad = 0.08 * (y_high - y_low);
  y_low -= pad, y_high += pad;

  auto px = [&](double x) { return left + (x - x_low) / (x_high - x_low) * (width - left - right); };
  auto py = [&](double y) { return top + (y_high - y) / (y_high - y_low) * (height - top - bottom); };
  double const plot_bottom = height - bottom;

  std::string svg = format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" viewBox=\"0 0 %g %g\" "
      "font-family=\"sans-serif\" font-size=\"10\">\n",
      width, height, width, height);
  svg += format("<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"#fafafa\" stroke=\"#ccc\"/>\n", left, top,
                width - left - right, plot_bottom - top);
  if (x_low < 0 && x_high > 0)
    svg += format("<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"#bbb\"/>\n", px(0), top, px(0),
                  plot_bottom);
  if (y_low < 0 && y_high > 0)
    svg += format("<line x1=\"%g\" y1=\"%.2f\" x2=\"%g\" y2=\"%.2f\" stroke=\"#bbb\"/>\n", left, py(0), width - right,
                  py(0));

  std::string path, marks;
  bool drawing = false;
  double previous = 0;
  for (auto const& s : samples) {
    double const x = px(s.x);
    if (std::isnan(s.y)) {
      marks += format("<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"#d22\"/>", x, plot_bottom + 2, x,
                      plot_bottom + 7);
      drawing = false;
      continue;
    }
    if (std::isinf(s.y)) {
      double const edge = s.y > 0 ? top : plot_bottom;
      marks += format("<circle cx=\"%.2f\" cy=\"%g\" r=\"2\" fill=\"#e80\"/>", x, edge);
      drawing = false;
      continue;
    }
    bool const inside = s.y >= y_low && s.y <= y_high;
    bool const jump = drawing && std::fabs(s.y - previous) > 0.5 * (y_high - y_low);
    if (inside && drawing && !jump) {
      path += format("L%.2f %.2f", x, py(s.y));
    } else if (inside) {
      path += format("M%.2f %.2f", x, py(s.y));
    }
    drawing = inside;
    previous = s.y;
  }
  svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"#1565c0\" stroke-width=\"1.6\"/>\n";
  svg += marks + "\n";
  svg += format("<text x=\"%g\" y=\"%g\">", left, height - 6) + label(x_low) + "</text>";
  svg += format("<text x=\"%g\" y=\"%g\" text-anchor=\"end\">", width - right, height - 6) + label(x_high) + "</text>";
  svg += format("<text x=\"%g\" y=\"%g\" text-anchor=\"end\">", left - 3, top + 8) + label(y_high) + "</text>";
  svg += format("<text x=\"%g\" y=\"%g\" text-anchor=\"end\">", left - 3, plot_bottom) + label(y_low) + "</text>";
  return svg + "\n</svg>\n";
}

}  // namespace kvx::image
