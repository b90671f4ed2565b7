// SPDX-License-Identifier: Apache-2.0
// Throughput of `kvx-host shade`'s grid shading: points a second for the
// example networks rings (ten instances) and checker (six) over 1024x1024
// points, on one and on two threads, through the C entries, the shader
// objects and the batch functions, side by side in one run.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include <network/grid.h>
#include <host/library.h>
#include <network/network_text.h>

namespace kvx::bench {
namespace {

void BM_shade_grid(benchmark::State& state, char const* file, network::Paths paths) {
  static host::Library library;
  network::Network_text text(library);
  text.read_file(std::string(KVX_EXAMPLES_DIR "/") + file);
  auto const network = text.finish({file, 0});
  unsigned const threads = static_cast<unsigned>(state.range(0));
  network::Grid const grid{1024, 1024};
  std::uint64_t points = 0;
  for (auto _ : state) {
    auto const shaded = network::shade_grid(network.network, network.output, network.shader.result, grid, paths, threads);
    benchmark::DoNotOptimize(shaded.pixels.data());
    points += std::uint64_t{grid.width} * grid.height;
  }
  state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
}

// A network of 100 000 instances, from its text to the value at one point:
// reading, checking and planning are linear in its size. A chain of adds, or
// each instance taking the one before it and one at random before that.
std::string large_network(bool random) {
  unsigned const n = 100000;
  std::uint32_t seed = 12345;
  std::string text = "shader Math_float_max n0\nparam n0.left 1\n";
  for (unsigned i = 1; i < n; ++i) {
    std::string const name = std::to_string(i);
    text.append("shader Math_float_max n").append(name).append("\nconnect n").append(std::to_string(i - 1));
    text.append(".result n").append(name).append(".left\n");
    seed = seed * 1664525u + 1013904223u;
    if (random)
      text.append("connect n")
          .append(std::to_string((seed >> 8) % i))
          .append(".result n")
          .append(name)
          .append(".right\n");
  }
  return text.append("output n").append(std::to_string(n - 1)).append("\n");
}

void BM_large_network(benchmark::State& state, bool random) {
  static host::Library library;
  std::string const text = large_network(random);
  for (auto _ : state) {
    network::Network_text network_text(library);
    network_text.read(text, "network");
    auto const network = network_text.finish({"network", 0});
    benchmark::DoNotOptimize(
        network::shade_grid(network.network, network.output, network.shader.result, {1, 1}, network::Paths::c, 1));
  }
}

BENCHMARK_CAPTURE(BM_large_network, chain_100000, false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_large_network, random_100000, true)->Unit(benchmark::kMillisecond)->Iterations(3);

#define KVX_SHADE_BENCHMARK(example, interface)                                                               \
  BENCHMARK_CAPTURE(BM_shade_grid, example##_##interface, #example ".kvx", network::Paths::interface) \
      ->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond)
KVX_SHADE_BENCHMARK(rings, c);
KVX_SHADE_BENCHMARK(rings, cpp);
KVX_SHADE_BENCHMARK(rings, batch);
KVX_SHADE_BENCHMARK(checker, c);
KVX_SHADE_BENCHMARK(checker, cpp);
KVX_SHADE_BENCHMARK(checker, batch);
#undef KVX_SHADE_BENCHMARK

}  // namespace
}  // namespace kvx::bench
