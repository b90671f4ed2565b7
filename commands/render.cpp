// SPDX-License-Identifier: Apache-2.0
// kvx-host render [-o demo.png] [-g W H] [--path c|cpp|batch|both|all] [--threads N]
//
// Renders the demo scene with every surface color computed by the library:
// through the batch functions (the default: a row traced whole, its pixels
// shaded by the surface they hit, a group at a time), the C entries or
// shader objects a pixel at a time, or several, compared pixel by pixel.
// Each thread has its own host state and its own copy of the network's
// instances.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <host/library.h>
#include <network/batch_shading.h>
#include <network/parallel_rows.h>
#include <network/shading_thread.h>
#include <network/values.h>

#include "command_line.h"
#include "commands.h"
#include <image/png.h>
#include "progress.h"
#include "scene.h"

namespace kvx::commands {

namespace {

struct Render_options {
  std::string output = "demo.png";
  network::Grid size = default_render_size;
  network::Paths paths = network::Paths::batch;
  unsigned threads = default_threads();
};

// The State_ shaders whose fields a hit sets.
constexpr char const* hit_fields[] = {"State_origin", "State_direction", "State_position", "State_normal",
                                      "State_geometry_normal", "State_parametric_uv", "State_ray_length",
                                      "State_dot_nd"};

// A thread's batch shading of the scene: for each surface its network's
// plan, and the fields of a group of hits.
class Batch_rows {
 public:
  Batch_rows(Scene const& scene, network::Network const& network, host::Reference_host const& host, bool all) {
    std::array<bool, network::state_shaders> varies{};
    for (char const* name : hit_fields) varies[catalogue::find(name)->index - network::first_state_shader] = true;
    for (int surface = Hit::sky; surface <= Hit::glass; ++surface) {
      auto const root = scene.root(static_cast<Hit::Surface>(surface));
      shading_[surface] = std::make_unique<network::Batch_shading>(network, root, host, varies, all);
      orders_[surface] = network.order(root);
      block_ = std::min(block_, shading_[surface]->block());
    }
    for (auto* values : {&origin_, &direction_, &position_, &normal_}) values->resize(3 * block_);
    uv_.resize(2 * block_);
    ray_length_.resize(block_);
    dot_nd_.resize(block_);
    fields_.set("State_origin", origin_.data(), 12);
    fields_.set("State_direction", direction_.data(), 12);
    fields_.set("State_position", position_.data(), 12);
    fields_.set("State_normal", normal_.data(), 12);
    fields_.set("State_geometry_normal", normal_.data(), 12);
    fields_.set("State_parametric_uv", uv_.data(), 8);
    fields_.set("State_ray_length", ray_length_.data(), 4);
    fields_.set("State_dot_nd", dot_nd_.data(), 4);
  }

  std::size_t block() const { return block_; }
  std::vector<network::Network::Node> const& order(Hit::Surface surface) const { return orders_[surface]; }
  network::Batch_shading const& shading(Hit::Surface surface) const { return *shading_[surface]; }

  // The point i of the next group: what Scene::set_state puts in the host.
  void set(std::size_t i, Vec3 origin, Vec3 direction, Hit const& hit) {
    auto put3 = [&](std::vector<float>& values, Vec3 v) {
      values[3 * i] = v.x, values[3 * i + 1] = v.y, values[3 * i + 2] = v.z;
    };
    put3(origin_, origin);
    put3(direction_, direction);
    put3(position_, hit.position);
    put3(normal_, hit.normal);
    uv_[2 * i] = hit.u, uv_[2 * i + 1] = hit.v;
    ray_length_[i] = hit.distance;
    dot_nd_[i] = hit.normal.x * direction.x + hit.normal.y * direction.y + hit.normal.z * direction.z;
  }
  // The surface's colors for the `count` points set.
  kvx_batch_values shade(Hit::Surface surface, std::size_t count) {
    return shading_[surface]->shade(count, fields_.state());
  }

 private:
  std::array<std::unique_ptr<network::Batch_shading>, 5> shading_;
  std::array<std::vector<network::Network::Node>, 5> orders_;
  std::size_t block_ = ~std::size_t{0};
  std::vector<float> origin_, direction_, position_, normal_, uv_, ray_length_, dot_nd_;
  network::Block_fields fields_;
};

std::uint8_t to_byte(float linear) {
  float const c = std::clamp(std::isnan(linear) ? 0.0f : linear, 0.0f, 1.0f);
  return static_cast<std::uint8_t>(std::lround(std::pow(c, 1.0f / 2.2f) * 255.0f));
}

int render(host::Library const& library, Render_options const& o) {
  Scene const scene(library);
  unsigned const width = o.size.width, height = o.size.height;
  std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
  std::atomic<std::uint64_t> shader_calls{0};
  network::Mismatches mismatches;
  network::Network const network = scene.network();

  auto make_batch_worker = [&]() -> network::Row_worker {
    struct Worker {
      Worker(Scene const& scene, network::Network const& network, std::atomic<std::uint64_t>& calls, bool all)
          : thread(network, calls), rows(scene, network, with_textures(thread.host()), all), calls(calls) {}
      ~Worker() { calls += evaluations; }
      static host::Reference_host& with_textures(host::Reference_host& host) {
        Scene::install_textures(host);
        return host;
      }
      network::Shading_thread thread;
      Batch_rows rows;
      std::atomic<std::uint64_t>& calls;
      std::uint64_t evaluations = 0;
      std::vector<Vec3> directions;
      std::vector<Hit> hits;
      std::vector<unsigned> group;
    };
    auto worker = std::make_shared<Worker>(scene, network, shader_calls, o.paths == network::Paths::all);
    return [&, worker](unsigned y) {
      Worker& w = *worker;
      w.directions.resize(width);
      w.hits.resize(width);
      for (unsigned x = 0; x < width; ++x) {
        w.directions[x] = scene.camera_ray(x, y, width, height);
        w.hits[x] = scene.trace(scene.eye(), w.directions[x]);
      }
      // Each surface's pixels of the row, a block at a time.
      for (int surface = Hit::sky; surface <= Hit::glass; ++surface) {
        auto const which = static_cast<Hit::Surface>(surface);
        w.group.clear();
        for (unsigned x = 0; x < width; ++x)
          if (w.hits[x].surface == which) w.group.push_back(x);
        for (std::size_t first = 0; first < w.group.size(); first += w.rows.block()) {
          std::size_t const count = std::min(w.rows.block(), w.group.size() - first);
          for (std::size_t i = 0; i < count; ++i) {
            unsigned const x = w.group[first + i];
            w.rows.set(i, scene.eye(), w.directions[x], w.hits[x]);
          }
          kvx_batch_values const colors = w.rows.shade(which, count);
          w.evaluations += count * w.rows.order(which).size();
          for (std::size_t i = 0; i < count; ++i) {
            unsigned const x = w.group[first + i];
            float rgba[4];
            std::memcpy(rgba, static_cast<unsigned char const*>(colors.data) + static_cast<std::ptrdiff_t>(i) * colors.stride,
                        sizeof rgba);
            std::uint8_t* pixel = rgb.data() + (std::size_t{y} * width + x) * 3;
            for (int c = 0; c < 3; ++c) pixel[c] = to_byte(rgba[c]);
            if (o.paths == network::Paths::all) {
              Scene::set_state(w.thread.host(), scene.eye(), w.directions[x], w.hits[x]);
              network::compare_instances(w.thread, w.rows.shading(which), w.rows.order(which), i, x, y, mismatches);
            }
          }
        }
      }
    };
  };

  auto make_worker = [&]() -> network::Row_worker {
    if (network::runs_batch(o.paths)) return make_batch_worker();
    auto thread = std::make_shared<network::Shading_thread>(network, shader_calls);
    Scene::install_textures(thread->host());
    return [&, thread](unsigned y) {
      for (unsigned x = 0; x < width; ++x) {
        Vec3 const direction = scene.camera_ray(x, y, width, height);
        Hit const hit = scene.trace(scene.eye(), direction);
        Scene::set_state(thread->host(), scene.eye(), direction, hit);
        catalogue::Value_bytes const color = thread->shade(scene.root(hit.surface), o.paths, mismatches, x, y);
        float rgba[4];
        std::memcpy(rgba, color.data(), sizeof rgba);
        std::uint8_t* pixel = rgb.data() + (std::size_t{y} * width + x) * 3;
        for (int c = 0; c < 3; ++c) pixel[c] = to_byte(rgba[c]);
      }
    };
  };

  auto const start = std::chrono::steady_clock::now();
  {
    Progress_bar bar;
    network::for_rows(height, o.threads, make_worker, std::ref(bar));
  }
  double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  image::write_png(o.output, width, height, 3, rgb);
  std::printf("rendered %ux%u through %s in %.2f s: %llu shader calls, %.3g calls/s\nwrote %s\n", width, height,
              network::path_name(o.paths), seconds, static_cast<unsigned long long>(shader_calls.load()),
              double(shader_calls) / seconds, o.output.c_str());
  if (auto m = mismatches.first()) {
    if (m->instance) m->instance_name = scene.instance_name(*m->instance);
    std::fprintf(stderr, "kvx-host: %s\n", network::mismatch_text(catalogue::Type::color, *m, "pixel").c_str());
    return 1;
  }
  if (o.paths == network::Paths::both) std::printf("both paths agree at every pixel\n");
  if (o.paths == network::Paths::all) std::printf("all three paths agree at every pixel\n");
  return 0;
}

}  // namespace

void add_render(CLI::App& app, Run& run) {
  auto o = std::make_shared<Render_options>();
  auto* command = app.add_subcommand("render", "render the demo scene through the library's shaders");
  command->add_option("-o", o->output, "the PNG file to write")->type_name("FILE")->capture_default_str();
  add_grid_option(*command, o->size)
      ->description("image size, W by H pixels, each from 1 to " + std::to_string(network::max_grid_side));
  // The older spelling of -g, kept for scripts that use it.
  command
      ->add_option_function<std::string>(
          "--size",
          [o](std::string const& text) {
            unsigned w = 0, h = 0;
            char tail = 0;
            std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &tail);
            o->size = {w, h};
          },
          "the same as -g, written WxH")
      ->type_name("WxH")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            unsigned w = 0, h = 0;
            char tail = 0;
            bool const ok = std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 &&
                            w <= network::max_grid_side && h <= network::max_grid_side &&
                            text.find('-') == std::string::npos;
            return ok ? "" : "'" + text + "' is not WxH, each from 1 to " + std::to_string(network::max_grid_side);
          },
          ""));
  add_path_option(*command, o->paths);
  add_threads_option(*command, o->threads);
  command->callback([o, &run] {
    run = [o] {
      host::Library const library;
      return render(library, *o);
    };
  });
}

}  // namespace kvx::commands
