// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <network/printable.h>

namespace kvx::commands {

namespace {

// A validator for a count from 1 to `high`, in kvx-host's words.
CLI::Validator count_up_to(unsigned high) {
  return CLI::Validator(
      [high](std::string& text) -> std::string {
        if (parse_count(text, high)) return {};
        return "'" + text + "' is not a whole number from 1 to " + std::to_string(high);
      },
      "");
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t const above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Every spelling of the command's options: -g, --threads, ...
std::vector<std::string> option_names(CLI::App const& command) {
  std::vector<std::string> names;
  for (CLI::Option const* option : command.get_options()) {
    for (auto const& name : option->get_lnames()) names.push_back("--" + name);
    for (auto const& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

// The subcommand the command line chose, or the app itself.
CLI::App const& chosen(CLI::App const& app) {
  auto const chosen = app.get_subcommands();
  return chosen.empty() ? app : *chosen.front();
}

std::string suggestion(std::string_view word, std::vector<std::string> const& candidates) {
  auto const near = nearest(word, candidates);
  return near ? " (did you mean '" + *near + "'?)" : " (try --help)";
}

}  // namespace

CLI::Option* add_grid_option(CLI::App& command, network::Grid& grid, unsigned high) {
  auto* option = command.add_option_function<std::vector<unsigned>>(
      "-g", [&grid](std::vector<unsigned> const& size) { grid = {size[0], size[1]}; },
      "grid size, W by H points, each from 1 to " + std::to_string(high));
  option->expected(2)->type_name("W H")->check(count_up_to(high));
  option->default_str(std::to_string(grid.width) + " " + std::to_string(grid.height));
  return option;
}

CLI::Option* add_threads_option(CLI::App& command, unsigned& threads) {
  return command
      .add_option("--threads", threads,
                  "threads to shade on, 1 to " + std::to_string(network::max_threads) + " (default: one a core)")
      ->type_name("N")
      ->check(count_up_to(network::max_threads));
}

CLI::Option* add_path_option(CLI::App& command, network::Paths& paths) {
  auto* option = command.add_option_function<std::string>(
      "--path", [&paths](std::string const& name) { paths = *network::parse_paths(name); },
      "which interface: c the C entries, cpp the shader objects, batch the batch functions (many points a call), "
      "both c and cpp compared bit for bit, all the three compared");
  option->type_name("c|cpp|batch|both|all")->default_str(network::paths_keyword(paths));
  option->check(CLI::Validator(
      [](std::string& name) -> std::string {
        return network::parse_paths(name) ? "" : "'" + name + "' is not " + network::paths_choices;
      },
      ""));
  return option;
}

CLI::Option* add_geometry_option(CLI::App& command, network::Geometry& geometry) {
  auto* option = command.add_option_function<std::string>(
      "--geometry", [&geometry](std::string const& name) { geometry = *network::parse_geometry(name); },
      "what the points lie on: plane, a flat patch facing the camera, or sphere, the unit sphere filling the "
      "picture (points off it are not shaded: zeros, transparent in a PNG)");
  option->type_name("plane|sphere")->default_str("plane");
  option->check(CLI::Validator(
      [](std::string& name) -> std::string {
        return network::parse_geometry(name) ? "" : "'" + name + "' is not plane or sphere";
      },
      ""));
  return option;
}

std::string Help_formatter::make_option_opts(CLI::Option const* option) const {
  return option->get_type_size() == 0 || option->get_positional() ? "" : " " + option->get_type_name();
}

std::string Help_formatter::make_option_desc(CLI::Option const* option) const {
  std::string const& value = option->get_default_str();
  return option->get_description() + (value.empty() ? "" : " (default: " + value + ")");
}

unsigned default_threads() { return std::max(1u, std::thread::hardware_concurrency()); }

std::optional<unsigned> parse_count(std::string const& text, unsigned high) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      }))
    return std::nullopt;
  unsigned long const n = std::strtoul(text.c_str(), nullptr, 10);
  if (n == 0 || n > high) return std::nullopt;
  return static_cast<unsigned>(n);
}

std::optional<std::string> nearest(std::string_view word, std::vector<std::string> const& candidates) {
  std::optional<std::string> best;
  std::size_t best_distance = std::max<std::size_t>(2, word.size() / 3) + 1;
  for (auto const& candidate : candidates) {
    std::size_t const d = edit_distance(word, candidate);
    if (d < best_distance) best = candidate, best_distance = d;
  }
  return best;
}

std::optional<std::string> unexpected_argument(CLI::App const& app) {
  CLI::App const& command = chosen(app);
  auto const extras = command.remaining();
  if (extras.empty()) return std::nullopt;
  std::string const& first = extras.front();
  if (&command == &app && !first.starts_with("-")) {
    std::vector<std::string> commands;
    for (CLI::App const* sub : app.get_subcommands({})) commands.push_back(sub->get_name());
    return "unknown command '" + first + "'" + suggestion(first, commands);
  }
  if (first.starts_with("-") && first.size() > 1)
    return "unknown option '" + first + "'" + suggestion(first, option_names(command));
  return "unexpected argument '" + first + "'";
}

std::string parse_error_message(CLI::App const& app, CLI::ParseError const& error) {
  CLI::App const& command = chosen(app);
  std::string const where = &command == &app ? "" : command.get_name() + ": ";
  return where + error.what();
}

int usage_error(std::string_view message) {
  std::string const line = network::printable(message);
  std::fprintf(stderr, "kvx-host: %s\n", line.c_str());
  return 2;
}

}  // namespace kvx::commands
