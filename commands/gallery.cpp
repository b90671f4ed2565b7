// SPDX-License-Identifier: Apache-2.0
// kvx-host gallery -o DIR [-g W H] [--threads N]
//
// The catalogue as a page: DIR/index.html with every shader's interface and a
// picture computed by the library through both interfaces, DIR/images/ with
// the pictures and DIR/data/ with the exact values behind them. Exits 1 if
// the two paths differ anywhere.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include <host/library.h>
#include <image/image.h>
#include <image/plot.h>
#include <network/catalogue_json.h>
#include <network/grid.h>
#include <network/shading_thread.h>
#include <network/values.h>

#include "command_line.h"
#include "commands.h"
#include "gallery_inputs.h"
#include "gallery_page.h"
#include "library_version.h"
#include "progress.h"

namespace kvx::commands {

namespace {

struct Gallery_options {
  std::string directory;
  network::Grid grid{128, 128};
  unsigned threads = default_threads();
};

void write_text(std::filesystem::path const& path, std::string const& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// Sample k's input, as a value.
catalogue::Value_bytes input_of(std::vector<image::Sample> const& samples, unsigned k) {
  catalogue::Value_bytes input{};
  std::memcpy(input.data(), &samples[k].x, 4);
  return input;
}

// A shader of one float input: its result at 401 inputs, as a plot and a table.
Gallery_entry plot(host::Library const& library, catalogue::Shader const& row, std::filesystem::path const& dir) {
  std::string const name(row.name);
  Gallery_entry entry{&row, "images/" + name + ".svg", "data/" + name + ".tsv", binding_rule(row), std::nullopt};
  network::Network network(library);
  auto const node = network.add(row.name);
  std::atomic<std::uint64_t> calls{0};
  network::Shading_thread thread(network, calls);
  network::Mismatches mismatches;
  Input_range const range = plot_range(row.operation);
  std::vector<image::Sample> samples;
  std::string table = "# input\tresult\tresult bits\n";
  for (unsigned i = 0; i <= 400; ++i) {
    float const x = range.low + (range.high - range.low) * (float(i) / 400.0f);
    catalogue::Value_bytes input{};
    std::memcpy(input.data(), &x, 4);
    thread.network().set(node, row.parameter_list[0].name, input);
    catalogue::Value_bytes const c = thread.shade(node, network::Paths::both, mismatches, i, 0);
    float const y = network::component_value(row.result, c, 0);
    samples.push_back({x, y});
    char line[96];
    std::snprintf(line, sizeof line, "%.9g\t%.9g\t%s\n", x, y, network::format_bits(row.result, c).c_str());
    table += line;
  }
  if (auto const& m = mismatches.first())
    entry.difference = "the paths differ at input " +
                       network::format_value(catalogue::Type::float_, input_of(samples, m->x)) + ": " +
                       network::format_difference(row.result, "C entry", m->first_value, "shader object", m->second_value);
  write_text(dir / entry.image, image::svg_plot(samples));
  write_text(dir / entry.data, table);
  return entry;
}

// Any other shader: shaded over the grid with its inputs bound to u and v.
Gallery_entry picture(host::Library const& library, catalogue::Shader const& row, std::filesystem::path const& dir,
                      Gallery_options const& o) {
  std::string const name(row.name);
  Gallery_entry entry{&row, "images/" + name + ".png", "data/" + name + ".exr", binding_rule(row), std::nullopt};
  network::Network network(library);
  auto const node = network.add(row.name);
  network::Grid const grid = o.grid;
  auto const inputs = [&row, grid, node](network::Network& n, unsigned x, unsigned y) {
    float const u = network::grid_u(grid, x), v = network::grid_v(grid, y);
    for (unsigned k = 0; k < row.parameter_count; ++k)
      n.set(node, row.parameter_list[k].name, bound_value(row, k, u, v));
  };
  network::Shaded shaded =
      network::shade_grid(network, node, row.result, grid, network::Paths::both, o.threads, {}, inputs);
  if (auto const& m = shaded.mismatch) entry.difference = network::mismatch_text(row.result, *m);
  image::write_image((dir / entry.data).string(), {grid.width, grid.height, shaded.channels, shaded.pixels});
  for (float& value : shaded.pixels) value = display_value(row.result, value);
  image::write_image((dir / entry.image).string(), {grid.width, grid.height, shaded.channels, shaded.pixels});
  return entry;
}

int gallery(host::Library const& library, Gallery_options const& o) {
  std::filesystem::path const dir = o.directory;
  std::filesystem::create_directories(dir / "images");
  std::filesystem::create_directories(dir / "data");

  std::vector<Gallery_entry> entries;
  {
    Progress_bar bar;
    auto const rows = network::loaded_shaders(library);
    for (auto const* row : rows) {
      bar(row->index, static_cast<unsigned>(rows.size()));
      entries.push_back(is_plotted(*row) ? plot(library, *row, dir) : picture(library, *row, dir, o));
    }
  }
  std::string const made_by =
      "Every picture was computed by " + std::filesystem::path(library.path()).filename().string() + " (" +
      library_version(library) + ")" + " through its C entries and " + "its shader objects, over a " +
      std::to_string(o.grid.width) + "×" + std::to_string(o.grid.height) +
      " grid or 401 samples. The grid's state and the "
      "binding rule: docs/kvx-host.md.";
  write_text(dir / "index.html", gallery_page(entries, made_by));

  std::size_t differing = 0;
  for (auto const& e : entries)
    if (e.difference) {
      ++differing;
      std::fprintf(stderr, "kvx-host: %s: %s\n", std::string(e.shader->name).c_str(),
                   e.difference->c_str());
    }
  std::printf("wrote %s: %zu shaders, %zu agree on both paths\n", (dir / "index.html").c_str(), entries.size(),
              entries.size() - differing);
  return differing ? 1 : 0;
}

}  // namespace

void add_gallery(CLI::App& app, Run& run) {
  auto o = std::make_shared<Gallery_options>();
  auto* command = app.add_subcommand("gallery", "a page with every shader's interface and picture");
  command->add_option("-o", o->directory, "the directory to write the page into")->type_name("DIR")->required();
  add_grid_option(*command, o->grid, network::max_gallery_side);
  add_threads_option(*command, o->threads);
  command->callback([o, &run] {
    run = [o] {
      host::Library const library;
      return gallery(library, *o);
    };
  });
}

}  // namespace kvx::commands
