// SPDX-License-Identifier: Apache-2.0
// kvx-host shade [NETWORK] [--shader NAME INSTANCE] [--param I.P VALUE] [--connect I.result I.P]
//                [--splat I.result I.P] [--output I] [-g W H] [-o FILE]... [--path c|cpp|batch|both|all] [--threads N]
//
// Shades the user's network over a grid and writes the output instance's
// result as images: EXR with the exact floats, PNG to look at. The network
// comes from a file (- for standard input), from statements on the command
// line, or both: the command line's follow the file's.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <network/grid.h>
#include <host/library.h>
#include <network/network_text.h>
#include <network/values.h>

#include "command_line.h"
#include "commands.h"
#include <image/image.h>
#include "progress.h"

namespace kvx::commands {

namespace {

struct Shade_options {
  std::optional<std::string> network_file;
  std::vector<std::vector<std::string>> statements;  // from the command line, in order
  network::Grid grid;
  std::vector<std::string> outputs;
  network::Paths paths = network::Paths::batch;
  unsigned threads = default_threads();
  image::Exr_compression compression = image::Exr_compression::zip;
  bool times = false;
};

using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The file's statements, then the command line's, numbered in order.
network::Network_text::Result build(network::Network_text& text, Shade_options const& o) {
  network::Location end{"command line", 0};
  if (o.network_file == "-") {
    std::string const input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    end = {"standard input", text.read(input, "standard input")};
  } else if (o.network_file) {
    end = {*o.network_file, text.read_file(*o.network_file)};
  }
  for (std::size_t k = 0; k < o.statements.size(); ++k) {
    std::vector<std::string_view> const words(o.statements[k].begin(), o.statements[k].end());
    end = {"command line", static_cast<unsigned>(k + 1)};
    text.statement(words, end);
  }
  return text.finish(end);
}

int shade(host::Library const& library, Shade_options const& o, Clock::time_point started) {
  double const loaded = since(started);
  auto const reading = Clock::now();
  network::Network_text text(library);
  std::optional<network::Network_text::Result> network;
  try {
    network.emplace(build(text, o));
  } catch (network::Network_error const& e) {
    return usage_error(e.what());
  }

  double const read = since(reading);
  auto const start = Clock::now();
  network::Shaded shaded;
  {
    Progress_bar bar;
    shaded = network::shade_grid(network->network, network->output, network->shader.result, o.grid, o.paths,
                              o.threads, std::ref(bar));
  }
  double const seconds = since(start);

  std::vector<double> written;
  for (auto const& file : o.outputs) {
    auto const writing = Clock::now();
    image::write_image(file, {o.grid.width, o.grid.height, shaded.channels, shaded.pixels, shaded.covered},
                       {o.compression, o.threads});
    written.push_back(since(writing));
  }
  std::printf("shaded %s (%s) at %ux%u points through %s on %u thread%s in %.3f s: %llu shader calls, %.3g calls/s\n",
              network->name.c_str(), std::string(network->shader.name).c_str(), o.grid.width, o.grid.height,
              network::path_name(o.paths), o.threads, o.threads == 1 ? "" : "s", seconds,
              static_cast<unsigned long long>(shaded.shader_calls), double(shaded.shader_calls) / seconds);
  for (std::size_t k = 0; k < o.outputs.size(); ++k)
    if (o.times) std::printf("wrote %s in %.3f s\n", o.outputs[k].c_str(), written[k]);
    else std::printf("wrote %s\n", o.outputs[k].c_str());
  if (o.times)
    std::printf("times: start-up (the plug-in loaded) %.3f s, the network read and checked %.3f s, shading %.3f s, "
                "writing %.3f s\n",
                loaded, read, seconds, std::accumulate(written.begin(), written.end(), 0.0));
  if (o.outputs.empty()) std::printf("no image written: name one with -o FILE.exr or -o FILE.png\n");

  if (auto m = shaded.mismatch) {
    if (m->instance) m->instance_name = text.name_of(*m->instance);
    std::fprintf(stderr, "kvx-host: %s\n", network::mismatch_text(shaded.type, *m).c_str());
    return 1;
  }
  if (o.paths == network::Paths::both) std::printf("both paths agree at every point\n");
  if (o.paths == network::Paths::all) std::printf("all three paths agree at every point\n");
  return 0;
}

// The statements given as options, in the order the command line gave them:
// CLI11 keeps each option's values apart, and lists the options in the order
// their values came, once a value.
std::vector<std::vector<std::string>> statements_in_order(CLI::App const& command) {
  std::vector<std::vector<std::string>> statements;
  std::map<CLI::Option const*, std::size_t> seen;  // values so far, per option
  for (CLI::Option const* option : command.parse_order()) {
    std::string const keyword = option->get_lnames().empty() ? "" : option->get_lnames().front();
    if (keyword != "shader" && keyword != "param" && keyword != "connect" && keyword != "splat" &&
        keyword != "output")
      continue;
    auto const n = static_cast<std::size_t>(option->get_type_size());
    std::size_t const at = seen[option]++;
    if (at % n) continue;  // a later value of a statement already taken whole
    auto const& values = option->results();
    std::vector<std::string> statement{keyword};
    statement.insert(statement.end(), values.begin() + static_cast<std::ptrdiff_t>(at),
                     values.begin() + static_cast<std::ptrdiff_t>(at + n));
    statements.push_back(std::move(statement));
  }
  return statements;
}

}  // namespace

void add_shade(CLI::App& app, Run& run) {
  auto o = std::make_shared<Shade_options>();
  auto* command = app.add_subcommand("shade", "shade a network of the library's shaders over a grid");
  command->add_option("NETWORK", o->network_file, "a network file (docs/kvx-host.md), or - for standard input")
      ->type_name("FILE");
  // Statements of the network file's format, one option each: they follow the file's.
  struct Statement {
    char const* name;
    int values;
    char const* form;
    char const* help;
  };
  for (auto const& s : {Statement{"--shader", 2, "NAME INSTANCE", "an instance of a library shader"},
                        Statement{"--param", 2, "I.P VALUE", "a constant, written as eval takes it"},
                        Statement{"--connect", 2, "I.result I.P", "a result into a parameter of its type"},
                        Statement{"--splat", 2, "I.result I.P", "a float result into every component"},
                        Statement{"--output", 1, "I", "the instance that is shaded"}}) {
    auto* option = command->add_option(s.name, s.help);
    option->type_size(s.values)->expected(1)->allow_extra_args(false)->type_name(s.form);
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  }
  add_grid_option(*command, o->grid);
  command->add_option("-o", o->outputs, "an image to write, .exr (the exact floats) or .png; repeatable")
      ->type_name("FILE")
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            return image::is_image_name(name) ? "" : "'" + name + "' is not a .exr or .png file name";
          },
          ""));
  add_path_option(*command, o->paths);
  add_geometry_option(*command, o->grid.geometry);
  add_threads_option(*command, o->threads);
  command
      ->add_option_function<std::string>(
          "--exr-compression", [o](std::string const& name) { o->compression = *image::parse_exr_compression(name); },
          "how an EXR's floats are compressed, every bit kept: none (fastest), rle, zips, zip (small) or piz")
      ->type_name("none|rle|zips|zip|piz")
      ->default_str("zip")
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            return image::parse_exr_compression(name) ? "" : "'" + name + "' is not " + image::exr_compressions;
          },
          ""));
  command->add_flag("--times", o->times,
                    "print how long each part took: start-up, reading the network, shading, writing each file");
  command->callback([o, command, &run] {
    o->statements = statements_in_order(*command);
    run = [o] {
      if (!o->network_file && o->statements.empty())
        return usage_error("shade needs a network: a file, or --shader, --connect, --output ... (try --help)");
      auto const started = Clock::now();
      host::Library const library;
      return shade(library, *o, started);
    };
  });
}

}  // namespace kvx::commands
