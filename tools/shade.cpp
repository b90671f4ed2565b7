// kvx-host shade [NETWORK] [--shader NAME INSTANCE] [--param I.P VALUE] [--connect I.result I.P]
//                [--splat I.result I.P] [--output I] [-g W H] [-o FILE]... [--path c|cpp|both] [--threads N]
//
// Shades the user's network over a grid and writes the output instance's
// result as images: EXR with the exact floats, PNG to look at. The network
// comes from a file (- for standard input), from statements on the command
// line, or both: the command line's follow the file's.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <host/grid.h>
#include <host/network_text.h>
#include <host/values.h>

#include "commands.h"
#include "image.h"
#include "progress.h"

namespace kvx::tool {

namespace {

struct Options {
  std::optional<std::string> network_file;
  std::vector<std::vector<std::string>> statements;  // from the command line, in order
  host::Grid grid;
  std::vector<std::string> outputs;
  host::Paths paths = host::Paths::c;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
};

int parse(Arguments arguments, Options& o) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string const a = arguments[i];
    // The option's next n values, or nothing when the command line ends first.
    auto take = [&](std::size_t n) -> std::optional<std::vector<std::string>> {
      if (i + n >= arguments.size()) return std::nullopt;
      std::vector<std::string> values(arguments.begin() + i + 1, arguments.begin() + i + 1 + n);
      i += n;
      return values;
    };
    // --shader NAME INSTANCE and the like: the statement of the same name.
    if (a == "--shader" || a == "--param" || a == "--connect" || a == "--splat" || a == "--output") {
      std::size_t const n = a == "--output" ? 1 : 2;
      auto values = take(n);
      if (!values) return usage_error(a + " takes " + (n == 1 ? "one value" : "two values"));
      values->insert(values->begin(), a.substr(2));
      o.statements.push_back(std::move(*values));
    } else if (a == "-g") {
      auto const v = take(2);
      auto const width = v ? parse_count((*v)[0], 8192) : std::nullopt;
      auto const height = v ? parse_count((*v)[1], 8192) : std::nullopt;
      if (!width || !height) return usage_error("-g takes W H, each from 1 to 8192");
      o.grid = {*width, *height};
    } else if (a == "-o") {
      auto const v = take(1);
      if (!v) return usage_error("-o takes a file name");
      if (!is_image_name(v->front())) return usage_error("-o writes .exr or .png, not '" + v->front() + "'");
      o.outputs.push_back(v->front());
    } else if (a == "--path") {
      auto const v = take(1);
      if (!v || (v->front() != "c" && v->front() != "cpp" && v->front() != "both"))
        return usage_error("--path takes c, cpp or both");
      o.paths = v->front() == "c" ? host::Paths::c : v->front() == "cpp" ? host::Paths::cpp : host::Paths::both;
    } else if (a == "--threads") {
      auto const v = take(1);
      auto const threads = v ? parse_count(v->front(), 256) : std::nullopt;
      if (!threads) return usage_error("--threads takes 1 to 256");
      o.threads = *threads;
    } else if ((a == "-" || !a.starts_with("-")) && !o.network_file) {
      o.network_file = a;
    } else {
      return usage_error("unexpected argument '" + a + "'");
    }
  }
  if (!o.network_file && o.statements.empty())
    return usage_error("shade needs a network: a file, or --shader, --connect, --output ... (try --help)");
  return 0;
}

// The file's statements, then the command line's, numbered in order.
host::Network_text::Result build(host::Network_text& text, Options const& o) {
  host::Location end{"command line", 0};
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

char const* path_name(host::Paths paths) {
  switch (paths) {
    case host::Paths::c: return "the C entries";
    case host::Paths::cpp: return "the shader objects";
    default: return "both interfaces";
  }
}

}  // namespace

int shade(host::Library& library, Arguments arguments) {
  Options o;
  if (int status = parse(arguments, o)) return status;
  host::Network_text text(library);
  std::optional<host::Network_text::Result> network;
  try {
    network.emplace(build(text, o));
  } catch (host::Network_error const& e) {
    return usage_error(e.what());
  }

  auto const start = std::chrono::steady_clock::now();
  host::Shaded shaded;
  {
    Progress_bar bar;
    shaded = host::shade_grid(network->network, network->output, network->shader.result, o.grid, o.paths,
                              o.threads, std::ref(bar));
  }
  double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  for (auto const& file : o.outputs)
    write_image(file, {o.grid.width, o.grid.height, shaded.channels, shaded.pixels});
  std::printf("shaded %s (%s) at %ux%u points through %s on %u thread%s in %.3f s: %llu shader calls, %.3g calls/s\n",
              network->name.c_str(), std::string(network->shader.name).c_str(), o.grid.width, o.grid.height,
              path_name(o.paths), o.threads, o.threads == 1 ? "" : "s", seconds,
              static_cast<unsigned long long>(shaded.shader_calls), double(shaded.shader_calls) / seconds);
  for (auto const& file : o.outputs) std::printf("wrote %s\n", file.c_str());
  if (o.outputs.empty()) std::printf("no image written: name one with -o FILE.exr or -o FILE.png\n");

  if (auto const& m = shaded.mismatch) {
    std::fprintf(stderr, "kvx-host: the paths differ at point (%u, %u): %s\n", m->x, m->y,
                 host::format_difference(shaded.type, m->c, m->cpp).c_str());
    return 1;
  }
  if (o.paths == host::Paths::both) std::printf("both paths agree at every point\n");
  return 0;
}

}  // namespace kvx::tool
