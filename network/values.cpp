// SPDX-License-Identifier: Apache-2.0
#include <network/values.h>

#include <cerrno>
#include <cinttypes>
#include <type_traits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kvx::network {

namespace {

std::vector<std::string> split(std::string_view text) {
  std::vector<std::string> texts;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = text.find(',', start);
    texts.emplace_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return texts;
    start = comma + 1;
  }
}

// The text as a message quotes it: a long one cut short.
std::string excerpt(std::string const& s) {
  std::string text = "'";
  if (s.size() <= 40) return text.append(s).append("'");
  return text.append(s, 0, 32).append("...' (").append(std::to_string(s.size())).append(" characters)");
}

// Why the text is not a float, or nothing. A finite number too large for a
// float is refused rather than taken as infinity, which is written inf.
std::optional<std::string> parse_float(std::string const& s, float& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtof(s.c_str(), &end);
  if (s.empty() || *end != '\0' || end == s.c_str()) return excerpt(s) + " is not a float";
  if (errno == ERANGE && std::isinf(out)) return excerpt(s) + " is out of range for a float (inf is written inf)";
  return std::nullopt;
}

bool parse_integer(std::string const& s, long long low, long long high, long long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(s.c_str(), &end, 0);
  return *end == '\0' && errno == 0 && out >= low && out <= high;
}

}  // namespace

Parsed parse_value(catalogue::Type t, std::string_view text) {
  auto const texts = split(text);
  if (texts.size() != components(t))
    return {std::nullopt, std::string(name(t)) + " takes " + std::to_string(components(t)) + " component" +
                              (components(t) == 1 ? "" : "s") + ", not " + std::to_string(texts.size())};
  catalogue::Value_bytes bytes{};
  for (unsigned i = 0; i < texts.size(); ++i) {
    auto const& p = texts[i];
    switch (kind(t)) {
      case catalogue::Kind::real: {
        float f;
        if (auto const error = parse_float(p, f)) return {std::nullopt, *error};
        std::memcpy(bytes.data() + 4 * i, &f, 4);
        break;
      }
      case catalogue::Kind::integer: {
        long long v;
        if (!parse_integer(p, INT32_MIN, INT32_MAX, v)) return {std::nullopt, excerpt(p) + " is not a 32-bit int"};
        auto const i32 = static_cast<std::int32_t>(v);
        std::memcpy(bytes.data() + 4 * i, &i32, 4);
        break;
      }
      case catalogue::Kind::handle: {
        long long v;
        if (!parse_integer(p, 0, UINT32_MAX, v)) return {std::nullopt, excerpt(p) + " is not a texture handle"};
        auto const u32 = static_cast<std::uint32_t>(v);
        std::memcpy(bytes.data(), &u32, 4);
        break;
      }
      case catalogue::Kind::truth: {
        long long v;
        if (p == "true") v = 1;
        else if (p == "false") v = 0;
        else if (!parse_integer(p, 0, 255, v))
          return {std::nullopt, excerpt(p) + " is not a bool (true, false or a byte)"};
        bytes[i] = static_cast<std::uint8_t>(v);
        break;
      }
    }
  }
  return {bytes, {}};
}

std::optional<int> parse_int(std::string const& text) {
  long long value;
  if (!parse_integer(text, INT32_MIN, INT32_MAX, value)) return std::nullopt;
  return static_cast<int>(value);
}

std::string format_value(catalogue::Type t, catalogue::Value_bytes const& bytes) {
  std::string text;
  for_each_component(t, bytes, [&text](auto component) {
    char buffer[48];
    if constexpr (std::is_same_v<decltype(component), float>)
      std::snprintf(buffer, sizeof buffer, "%.9g", component);
    else
      std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(component));
    text += (text.empty() ? "" : ", ") + std::string(buffer);
  });
  return components(t) == 1 ? text : "(" + text + ")";
}

std::string format_bits(catalogue::Type t, catalogue::Value_bytes const& bytes) {
  std::string text;
  char buffer[16];
  for (unsigned i = 0; i < components(t); ++i) {
    if (i) text += ' ';
    if (kind(t) == catalogue::Kind::truth) {
      std::snprintf(buffer, sizeof buffer, "0x%02x", bytes[i]);
    } else {
      std::uint32_t v;
      std::memcpy(&v, bytes.data() + 4 * i, 4);
      std::snprintf(buffer, sizeof buffer, "0x%08" PRIx32, v);
    }
    text += buffer;
  }
  return text;
}

std::string format_difference(catalogue::Type t, char const* first_name, catalogue::Value_bytes const& first,
                              char const* second_name, catalogue::Value_bytes const& second) {
  return std::string(first_name) + " " + format_value(t, first) + " [" + format_bits(t, first) + "], " + second_name +
         " " + format_value(t, second) + " [" + format_bits(t, second) + "]";
}

}  // namespace kvx::network
