// SPDX-License-Identifier: Apache-2.0
#include <network/printable.h>

#include <cstdint>
#include <cstdio>

namespace kvx::network {

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes at the
// start of `text`, or 0.
std::size_t utf8_sequence(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::uint8_t const lead = byte(0);
  std::size_t const length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                             : lead >= 0xf0 && lead <= 0xf4                                  ? 4
                                                                                             : 0;
  if (length == 0 || text.size() < length) return 0;
  // The second byte's range excludes overlong forms, surrogates and code
  // points above U+10FFFF.
  std::uint8_t const low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
  std::uint8_t const high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if ((byte(i) & 0xc0) != 0x80) return 0;
  return length;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    auto const c = static_cast<std::uint8_t>(text[0]);
    std::size_t n = 1;
    if (c >= 0x20 && c < 0x7f) {
      out += text[0];
    } else if (c >= 0x80 && (n = utf8_sequence(text)) != 0) {
      out += text.substr(0, n);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
      n = 1;
    }
    text.remove_prefix(n);
  }
  return out;
}

std::size_t end_of_text(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    auto const c = static_cast<std::uint8_t>(text[at]);
    if ((c >= 0x20 && c < 0x7f) || (c >= '\t' && c <= '\r')) {
      ++at;
    } else if (std::size_t const n = c >= 0x80 ? utf8_sequence(text.substr(at)) : 0) {
      at += n;
    } else {
      return at;
    }
  }
  return text.size();
}

}  // namespace kvx::network
