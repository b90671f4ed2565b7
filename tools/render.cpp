// kvx-host render [-o demo.png] [--size WxH] [--path c|cpp] [--threads N]
//
// Renders the demo scene with every surface color computed by the library:
// through the C entries (the default) or through shader objects. Each thread
// has its own host state and its own copy of the network's instances.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <host/rows.h>

#include "commands.h"
#include "png.h"
#include "progress.h"
#include "scene.h"

namespace kvx::tool {

namespace {

struct Options {
  std::string output = "demo.png";
  unsigned width = 640, height = 360;
  host::Network::Path path = host::Network::Path::c;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
};

int parse(Arguments arguments, Options& o) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string const a = arguments[i];
    if (i + 1 >= arguments.size()) return usage_error("'" + a + "' needs a value");
    std::string const v = arguments[++i];
    if (a == "-o") {
      o.output = v;
    } else if (a == "--size") {
      unsigned w = 0, h = 0;
      char tail = 0;
      if (std::sscanf(v.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 8192 || h > 8192)
        return usage_error("--size takes WxH, each from 1 to 8192, not '" + v + "'");
      o.width = w, o.height = h;
    } else if (a == "--path") {
      if (v != "c" && v != "cpp") return usage_error("--path takes c or cpp, not '" + v + "'");
      o.path = v == "c" ? host::Network::Path::c : host::Network::Path::cpp;
    } else if (a == "--threads") {
      auto const n = parse_count(v, 256);
      if (!n) return usage_error("--threads takes 1 to 256, not '" + v + "'");
      o.threads = *n;
    } else {
      return usage_error("unexpected argument '" + a + "'");
    }
  }
  return 0;
}

std::uint8_t to_byte(float linear) {
  float const c = std::clamp(std::isnan(linear) ? 0.0f : linear, 0.0f, 1.0f);
  return static_cast<std::uint8_t>(std::lround(std::pow(c, 1.0f / 2.2f) * 255.0f));
}

// One thread's host, with the scene's textures, and copy of the network.
struct Render_thread {
  Render_thread(Scene const& scene, std::atomic<std::uint64_t>& total) : network(scene.network()), total(total) {
    host.set_recording(false);
    Scene::install_textures(host);
  }
  ~Render_thread() { total += network.shader_calls(); }

  host::Host host;
  host::Network network;
  std::atomic<std::uint64_t>& total;
};

}  // namespace

int render(host::Library& library, Arguments arguments) {
  Options o;
  if (int status = parse(arguments, o)) return status;
  Scene const scene(library);
  std::vector<std::uint8_t> rgb(std::size_t{o.width} * o.height * 3);
  std::atomic<std::uint64_t> shader_calls{0};

  auto make_worker = [&]() -> host::Row_worker {
    auto thread = std::make_shared<Render_thread>(scene, shader_calls);
    return [&, thread](unsigned y) {
      for (unsigned x = 0; x < o.width; ++x) {
        Vec3 const direction = scene.camera_ray(x, y, o.width, o.height);
        Hit const hit = scene.trace(scene.eye(), direction);
        Scene::set_state(thread->host, scene.eye(), direction, hit);
        thread->network.next_point();
        auto const& color = thread->network.evaluate(scene.root(hit.surface), thread->host, o.path);
        float rgba[4];
        std::memcpy(rgba, color.data(), sizeof rgba);
        std::uint8_t* pixel = rgb.data() + (std::size_t{y} * o.width + x) * 3;
        for (int c = 0; c < 3; ++c) pixel[c] = to_byte(rgba[c]);
      }
    };
  };

  auto const start = std::chrono::steady_clock::now();
  {
    Progress_bar bar;
    host::for_rows(o.height, o.threads, make_worker, std::ref(bar));
  }
  double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  write_png(o.output, o.width, o.height, 3, rgb);
  std::printf("rendered %ux%u through the %s in %.2f s: %llu shader calls, %.3g calls/s\nwrote %s\n", o.width,
              o.height, o.path == host::Network::Path::c ? "C entries" : "shader objects", seconds,
              static_cast<unsigned long long>(shader_calls.load()), double(shader_calls) / seconds, o.output.c_str());
  return 0;
}

}  // namespace kvx::tool
