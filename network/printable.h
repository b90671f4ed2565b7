// SPDX-License-Identifier: Apache-2.0
// Text from a user's input, made safe to print in a message: a stray control
// byte or a binary file's bytes must not reach a terminal as they are.
#pragma once

#include <string>
#include <string_view>

namespace kvx::network {

// The text with every byte that is not printable written as \xNN: control
// bytes, DEL, and bytes that are not part of well-formed UTF-8. A backslash
// stays as it is.
std::string printable(std::string_view text);

// Where text stops being text: the offset of the first control byte other
// than tab, line feed, vertical tab, form feed and carriage return, or of the
// first byte that is not part of well-formed UTF-8; the size if there is none.
std::size_t end_of_text(std::string_view text);

}  // namespace kvx::network
