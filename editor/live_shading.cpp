// SPDX-License-Identifier: Apache-2.0
#include <editor/live_shading.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include <network/batch_shading.h>
#include <network/network_text.h>
#include <network/shading_thread.h>
#include <network/values.h>

namespace kvx::editor {
namespace {

network::Json error_json(network::Network_error const& e) {
  network::Json answer = {{"ok", false}, {"error", e.what()}, {"line", e.location.line}};
  if (!e.unknown.empty()) answer["unknown"] = e.unknown;
  answer["suggestions"] = e.suggestions;
  return answer;
}

// The text read and checked, with the shown instance as its output.
struct Built {
  explicit Built(host::Library const& library) : text(library) {}
  network::Network_text text;
  std::optional<network::Network_text::Result> network;
};

// Throws network::Network_error where the text stops.
void build(Built& built, Shade_request const& request) {
  network::Location const end{request.source, built.text.read(request.text, request.source)};
  built.network.emplace(request.instance ? built.text.finish(end, *request.instance) : built.text.finish(end));
}

network::Json instances_json(network::Network_text const& text) {
  network::Json all = network::Json::array();
  for (auto const& made : text.instances())
    all.push_back({{"name", made.name},
                   {"shader", std::string(made.shader->name)},
                   {"type", std::string(name(made.shader->result))},
                   {"line", made.line}});
  return all;
}

std::size_t picture_bytes(catalogue::Type type, network::Grid grid) {
  return std::size_t{grid.width} * grid.height * components(type) * sizeof(float);
}

}  // namespace

std::optional<Picture> shade(host::Library const& library, Shade_request const& request, std::stop_token stop,
                             std::function<bool()> const& wanted) {
  Built built(library);
  try {
    build(built, request);
  } catch (network::Network_error const& e) {
    return Picture{error_json(e), {}, {}, {}};
  }
  auto const& network = *built.network;
  catalogue::Type const type = network.shader.result;
  if (std::size_t const bytes = picture_bytes(type, request.grid); bytes > request.max_picture_bytes)
    throw Refusal{400, "a " + std::to_string(request.grid.width) + " × " + std::to_string(request.grid.height) + " " +
                           std::string(name(type)) + " picture takes " + std::to_string(bytes >> 20) +
                           " MiB, over the limit of " + std::to_string(request.max_picture_bytes >> 20) +
                           " MiB: shade a smaller grid"};
  // Abandoned by the caller's stop, or when the caller no longer wants it.
  std::stop_source abandon;
  std::stop_callback const forward(stop, [&abandon] { abandon.request_stop(); });
  auto const ask = [&](unsigned, unsigned) {
    if (wanted && !wanted()) abandon.request_stop();
  };
  auto const start = std::chrono::steady_clock::now();
  // With both paths, each point's bits compared as `kvx-host shade --path both` compares them.
  network::Shaded shaded = network::shade_grid(network.network, network.output, type, request.grid, request.paths,
                                         request.threads, ask, {}, abandon.get_token());
  if (abandon.stop_requested()) return std::nullopt;
  double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  network::Json about = {{"ok", true},
                      {"instance", network.name},
                      {"shader", std::string(network.shader.name)},
                      {"type", std::string(name(type))},
                      {"channels", shaded.channels},
                      {"width", request.grid.width},
                      {"height", request.grid.height},
                      {"path", network::paths_keyword(request.paths)},
                      {"geometry", request.grid.geometry == network::Geometry::sphere ? "sphere" : "plane"},
                      {"mismatches", shaded.mismatches},
                      {"instances", instances_json(built.text)},
                      {"calls", shaded.shader_calls},
                      {"seconds", seconds}};
  if (shaded.mismatches == 0) shaded.differs.clear();
  return Picture{std::move(about), std::move(shaded.pixels), std::move(shaded.differs), std::move(shaded.covered)};
}

std::optional<Picture> thumbnails(host::Library const& library, Shade_request const& request,
                                  std::vector<std::string> const& names, unsigned size, std::stop_token stop) {
  Built built(library);
  std::vector<std::pair<network::Network::Node, catalogue::Shader const*>> nodes;
  network::Json listed = network::Json::array();
  try {
    network::Location const end{request.source, built.text.read(request.text, request.source)};
    for (auto const& made : built.text.instances())
      if (std::find(names.begin(), names.end(), made.name) != names.end()) {
        nodes.emplace_back(*built.text.node(made.name), made.shader);
        listed.push_back({{"name", made.name},
                          {"type", std::string(name(made.shader->result))},
                          {"channels", components(made.shader->result)}});
      }
    if (nodes.empty()) return Picture{{{"ok", true}, {"size", size}, {"instances", listed}}, {}, {}, {}};
    built.network.emplace(built.text.finish(end, listed[0]["name"].get<std::string>()));  // the whole checked
  } catch (network::Network_error const& e) {
    return Picture{error_json(e), {}, {}, {}};
  }
  std::size_t floats_per_point = 0;
  for (auto const& [node, shader] : nodes) floats_per_point += components(shader->result);
  // At the grid's aspect, `size` points along its longer side.
  unsigned const longer = std::max(request.grid.width, request.grid.height);
  auto const along = [&](unsigned side) {
    return std::max(1u, static_cast<unsigned>((std::uint64_t{side} * size + longer / 2) / longer));
  };
  unsigned const width = along(request.grid.width), height = along(request.grid.height);
  Picture picture{{{"ok", true}, {"size", size}, {"width", width}, {"height", height}, {"instances", listed}}, {}, {}, {}};
  picture.pixels.resize(std::size_t{width} * height * floats_per_point);
  bool const sphere = request.grid.geometry == network::Geometry::sphere;
  picture.about["geometry"] = sphere ? "sphere" : "plane";
  if (sphere) picture.covered.assign(std::size_t{width} * height, 0);  // 1 where the sphere is
  std::atomic<std::uint64_t> calls{0};
  network::Shading_thread thread(built.network->network, calls);
  network::Grid const grid{width, height, request.grid.geometry};
  network::set_grid_settings(thread.host(), grid);
  std::size_t const points = std::size_t{width} * height;
  bool const batch = network::runs_batch(request.paths);
  std::vector<std::unique_ptr<network::Batch_shading>> batches;
  if (batch)
    for (auto const& [node, shader] : nodes)
      batches.push_back(std::make_unique<network::Batch_shading>(built.network->network, node, thread.host(),
                                                                 network::Grid_block::varies(grid)));
  network::Grid_block block(grid, width);
  for (unsigned y = 0; y < height; ++y) {
    if (stop.stop_requested()) return std::nullopt;
    if (batch) {
      // Each instance's row in runs, as `kvx-host shade --path batch` shades.
      std::size_t at = 0;
      for (std::size_t n = 0; n < nodes.size(); ++n) {
        catalogue::Shader const& shader = *nodes[n].second;
        unsigned const channels = components(shader.result);
        auto const store = network::pixel_store(shader.result);
        for (unsigned x = 0; x < width; x += static_cast<unsigned>(batches[n]->block())) {
          std::size_t const count = std::min<std::size_t>(batches[n]->block(), width - x);
          kvx_batch_values const values = batches[n]->shade(count, block.fill(x, y, count));
          for (std::size_t i = 0; i < count; ++i) {
            float* pixel = picture.pixels.data() + at * points + (std::size_t{y} * width + x + i) * channels;
            catalogue::Value_bytes value{};
            std::memcpy(value.data(),
                        static_cast<unsigned char const*>(values.data) + static_cast<std::ptrdiff_t>(i) * values.stride,
                        catalogue::width(shader.result));
            if (block.on(i)) store(value, pixel);
            else std::fill(pixel, pixel + channels, 0.0f);
            if (sphere && n == 0) picture.covered[std::size_t{y} * width + x + i] = block.on(i) ? 1 : 0;
          }
        }
        at += channels;
      }
      continue;
    }
    for (unsigned x = 0; x < width; ++x) {
      bool const on = network::set_grid_point(thread.host(), grid, x, y);
      thread.network().next_point();
      if (sphere) picture.covered[std::size_t{y} * width + x] = on ? 1 : 0;
      std::size_t at = 0;  // each instance's floats follow the one before's, a picture each
      for (auto const& [node, shader] : nodes) {
        unsigned const channels = components(shader->result);
        float* pixel = picture.pixels.data() + at * points + (std::size_t{y} * width + x) * channels;
        if (on)
          network::pixel_store(shader->result)(thread.network().evaluate(node, thread.host(), request.paths ==
                                                   network::Paths::cpp ? network::Paths::cpp : network::Paths::c),
                                               pixel);
        else
          std::fill(pixel, pixel + channels, 0.0f);
        at += channels;
      }
    }
  }
  return picture;
}

network::Json point(host::Library const& library, Shade_request const& request, unsigned x, unsigned y) {
  Built built(library);
  try {
    build(built, request);
  } catch (network::Network_error const& e) {
    return error_json(e);
  }
  auto const& network = *built.network;
  catalogue::Type const type = network.shader.result;
  std::atomic<std::uint64_t> calls{0};
  network::Shading_thread thread(network.network, calls);
  network::set_grid_settings(thread.host(), request.grid);
  bool const covered = network::set_grid_point(thread.host(), request.grid, x, y);
  network::Mismatches unused;
  // What the point holds, as the State answers it there: on the sphere, its
  // own uv and normal.
  network::Grid_point const held = network::grid_point(request.grid, x, y);
  network::Json answer = {{"ok", true},
                       {"x", x},
                       {"y", y},
                       {"u", held.uv.x},
                       {"v", held.uv.y},
                       {"type", std::string(name(type))}};
  if (request.grid.geometry == network::Geometry::sphere && covered)
    answer["normal"] = {held.normal.x, held.normal.y, held.normal.z};
  if (!covered) {
    answer["covered"] = false;  // off the sphere: nothing is shaded there
    return answer;
  }
  std::vector<catalogue::Value_bytes> values;
  auto give = [&](char const* key, catalogue::Value_bytes const& value) {
    values.push_back(value);
    answer[key] = {{"value", network::format_value(type, value)}, {"bits", network::format_bits(type, value)}};
  };
  if (network::runs_c(request.paths)) give("c", thread.shade(network.output, network::Paths::c, unused, x, y));
  if (network::runs_cpp(request.paths)) give("cpp", thread.shade(network.output, network::Paths::cpp, unused, x, y));
  if (network::runs_batch(request.paths)) {
    network::Batch_shading batch(network.network, network.output, thread.host(), network::Grid_block::varies(request.grid));
    network::Grid_block block(request.grid, 1);
    kvx_batch_values const value = batch.shade(1, block.fill(x, y, 1));
    catalogue::Value_bytes bytes{};
    std::memcpy(bytes.data(), value.data, width(type));
    give("batch", bytes);
  }
  if (values.size() > 1)
    answer["same"] = std::all_of(values.begin(), values.end(), [&](catalogue::Value_bytes const& v) {
      return std::memcmp(v.data(), values[0].data(), width(type)) == 0;
    });
  return answer;
}

}  // namespace kvx::editor
