// SPDX-License-Identifier: Apache-2.0
#include <network/suggestions.h>

#include <algorithm>
#include <array>
#include <cctype>

#include <catalogue/catalogue.h>
#include <network/descriptions.h>
#include <network/printable.h>

namespace kvx::network {

namespace {

char lowered(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Edits from a to b, case aside: insertions, deletions, substitutions and
// swaps of neighbours, each 1 (the optimal string alignment distance).
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> before(b.size() + 1), row(b.size() + 1), next(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    next[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t const cost = lowered(a[i - 1]) == lowered(b[j - 1]) ? 0 : 1;
      next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + cost});
      if (i > 1 && j > 1 && lowered(a[i - 1]) == lowered(b[j - 2]) && lowered(a[i - 2]) == lowered(b[j - 1]))
        next[j] = std::min(next[j], before[j - 2] + 1);
    }
    std::swap(before, row);
    std::swap(row, next);
  }
  return row[b.size()];
}

}  // namespace

std::vector<std::string_view> nearest_names(std::string_view asked, std::span<std::string_view const> known) {
  // A slip is one edit in a short name, up to three in a long one, and never
  // all of a name's letters ('x' is no slip of 'a').
  std::size_t const most = std::clamp<std::size_t>(asked.size() / 6, 1, 3);
  std::vector<std::pair<std::size_t, std::string_view>> near;
  for (std::string_view name : known)
    if (name != asked)
      if (std::size_t const d = distance(asked, name); d <= most && d < asked.size()) near.emplace_back(d, name);
  std::stable_sort(near.begin(), near.end(), [](auto const& a, auto const& b) { return a.first < b.first; });
  std::vector<std::string_view> names;
  for (auto const& [d, name] : near) {
    if (names.size() == 3 || d > near.front().first) break;  // only the nearest
    names.push_back(name);
  }
  return names;
}

std::string asking(std::vector<std::string_view> const& names) {
  if (names.empty()) return {};
  std::string text = "; did you mean";
  for (std::size_t i = 0; i < names.size(); ++i)
    text += std::string(i == 0 ? " '" : i + 1 == names.size() ? " or '" : ", '") + printable(names[i]) + "'";
  return text + "?";
}

std::string did_you_mean(std::string_view asked, std::span<std::string_view const> known) {
  return asking(nearest_names(asked, known));
}

namespace {

// The shaders an operation's usual name elsewhere names: in a shader's name
// (Math_float_mix for Math_float_lerp) or alone ("mix", or "lerp" itself), the
// first three in the catalogue's order.
std::vector<std::string_view> by_usual_name(std::string_view asked) {
  auto const same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return lowered(x) == lowered(y);
           });
  };
  std::vector<std::string_view> names;
  for (auto const& row : catalogue::shaders) {
    if (row.source != catalogue::Source::none) continue;
    std::string const prefix = row.typed ? "Math_" + std::string(name(row.type)) + "_" : "Math_";
    auto const named = [&](std::string_view word) {
      return same(asked, word) || (asked.size() > prefix.size() && same(asked.substr(0, prefix.size()), prefix) &&
                                   same(asked.substr(prefix.size()), word));
    };
    bool found = same(asked, row.operation);
    for (std::string_view other : other_names(row)) found = found || named(other);
    if (found && names.size() < 3) names.push_back(row.name);
  }
  return names;
}

}  // namespace

std::vector<std::string_view> shader_suggestions(std::string_view asked) {
  static constexpr auto names = [] {
    std::array<std::string_view, catalogue::shader_count> all{};
    for (unsigned i = 0; i < catalogue::shader_count; ++i) all[i] = catalogue::shaders[i].name;
    return all;
  }();
  // A usual name is meant as it is; only then a slip is looked for.
  if (auto usual = by_usual_name(asked); !usual.empty()) return usual;
  return nearest_names(asked, names);
}

std::string did_you_mean_shader(std::string_view asked) { return asking(shader_suggestions(asked)); }

}  // namespace kvx::network
