// SPDX-License-Identifier: Apache-2.0
// kvx-host render [-o demo.png] [-g W H] [--path c|cpp|both] [--threads N]
//
// Renders the demo scene with every surface color computed by the library:
// through the C entries (the default), through shader objects, or through
// both, compared pixel by pixel. Each thread has its own host state and its
// own copy of the network's instances.
#include <algorithm>
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
  network::Paths paths = network::Paths::c;
  unsigned threads = default_threads();
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

  auto make_worker = [&]() -> network::Row_worker {
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
  if (auto const& m = mismatches.first()) {
    std::fprintf(stderr, "kvx-host: %s\n", network::mismatch_text(catalogue::Type::color, *m, "pixel").c_str());
    return 1;
  }
  if (o.paths == network::Paths::both) std::printf("both paths agree at every pixel\n");
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
