// SPDX-License-Identifier: Apache-2.0
// What the kvx-host commands' command lines share: the options several of
// them take, spelled and checked alike everywhere, and the messages for a
// command line that is wrong.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include <network/grid.h>
#include <network/limits.h>

namespace kvx::commands {

// A command's own defaults, so that the help shows them.
inline constexpr network::Grid default_render_size{640, 360};

// -g W H: a grid or image size, each side from 1 to `high`.
CLI::Option* add_grid_option(CLI::App& command, network::Grid& grid, unsigned high = network::max_grid_side);
// --threads N, 1 to network::max_threads; the default is one a core.
CLI::Option* add_threads_option(CLI::App& command, unsigned& threads);
// --path c|cpp|both: the C entries, the shader objects, or both compared.
CLI::Option* add_path_option(CLI::App& command, network::Paths& paths);
// --geometry plane|sphere: what the grid's points lie on.
CLI::Option* add_geometry_option(CLI::App& command, network::Geometry& geometry);

// Help in kvx-host's style: an option's value named once ("-g W H"), its
// default after its description.
class Help_formatter : public CLI::Formatter {
 public:
  std::string make_option_opts(CLI::Option const* option) const override;
  std::string make_option_desc(CLI::Option const* option) const override;
};

// One thread a core.
unsigned default_threads();

// A count from 1 to `high` written in decimal digits, or nothing.
std::optional<unsigned> parse_count(std::string const& text, unsigned high);

// The candidate nearest to `word` by edit distance, if it is near enough to
// be what was meant.
std::optional<std::string> nearest(std::string_view word, std::vector<std::string> const& candidates);

// What is wrong with a command line CLI11 parsed without complaint: an
// argument nobody took. Names the nearest option or command.
std::optional<std::string> unexpected_argument(CLI::App const& app);

// A CLI11 parse error as one line in kvx-host's words.
std::string parse_error_message(CLI::App const& app, CLI::ParseError const& error);

// One line on stderr naming the problem, its bytes made printable; returns 2.
int usage_error(std::string_view message);

}  // namespace kvx::commands
