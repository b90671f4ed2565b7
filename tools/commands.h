// The kvx-host commands. Each returns the process exit status: 0 done, 1 the
// library failed to load or to answer, or the two paths differed (shade,
// gallery), 2 the command line or the input was wrong.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <host/library.h>

namespace kvx::tool {

using Arguments = std::span<char const* const>;

int list(host::Library& library, Arguments arguments);
int describe(host::Library& library, Arguments arguments);
int eval(host::Library& library, Arguments arguments);
int render(host::Library& library, Arguments arguments);
int shade(host::Library& library, Arguments arguments);
int gallery(host::Library& library, Arguments arguments);

// One line on stderr naming the problem; returns 2.
int usage_error(std::string_view message);

// A count from 1 to `high` written in decimal digits, or nothing.
std::optional<unsigned> parse_count(std::string const& text, unsigned high);

}  // namespace kvx::tool
