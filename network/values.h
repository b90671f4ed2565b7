// SPDX-License-Identifier: Apache-2.0
// Values as a person types and reads them: comma-separated components.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <catalogue/types.h>
#include <host/parameter_block.h>

namespace kvx::network {

// The value of type t written as "1,2,3" (floats also nan, inf, -inf; bools
// true, false or a byte; a texture an unsigned handle), or an explanation of
// why it does not parse.
struct Parsed {
  std::optional<catalogue::Value_bytes> value;
  std::string error;
};
Parsed parse_value(catalogue::Type t, std::string_view text);

// A 32-bit int in C notation (decimal, 0x hexadecimal, 0 octal), or nothing.
std::optional<int> parse_int(std::string const& text);

// Calls `visit` with each component of a value of type t, as what it is:
// a float, a std::int32_t, a texture's std::uint32_t, or a truth byte as an
// unsigned.
template <class Visit>
void for_each_component(catalogue::Type t, catalogue::Value_bytes const& bytes, Visit&& visit) {
  for (unsigned i = 0; i < components(t); ++i) {
    switch (kind(t)) {
      case catalogue::Kind::real: {
        float f;
        std::memcpy(&f, bytes.data() + 4 * i, 4);
        visit(f);
        break;
      }
      case catalogue::Kind::integer: {
        std::int32_t v;
        std::memcpy(&v, bytes.data() + 4 * i, 4);
        visit(v);
        break;
      }
      case catalogue::Kind::handle: {
        std::uint32_t v;
        std::memcpy(&v, bytes.data() + 4 * i, 4);
        visit(v);
        break;
      }
      case catalogue::Kind::truth:
        visit(unsigned{bytes[i]});
        break;
    }
  }
}

// Components as text, and the same as hexadecimal bits.
std::string format_value(catalogue::Type t, catalogue::Value_bytes const& bytes);
std::string format_bits(catalogue::Type t, catalogue::Value_bytes const& bytes);

// Two paths' values side by side: "C entry V [BITS], shader object V [BITS]".
std::string format_difference(catalogue::Type t, char const* first_name, catalogue::Value_bytes const& first,
                              char const* second_name, catalogue::Value_bytes const& second);

}  // namespace kvx::network
