// Throughput of `kvx-host shade`'s grid shading: shader calls per second for
// the ten-instance example network over 512x512 points, on one and on two
// threads, through the C entries and through shader objects.
#include <benchmark/benchmark.h>

#include <network/grid.h>
#include <host/library.h>
#include <network/network_text.h>

namespace kvx::bench {
namespace {

void BM_shade_grid(benchmark::State& state, host::Paths paths) {
  static host::Library library;
  host::Network_text text(library);
  text.read_file(KVX_EXAMPLES_DIR "/rings.kvx");
  auto const network = text.finish({"rings.kvx", 0});
  unsigned const threads = static_cast<unsigned>(state.range(0));
  std::uint64_t calls = 0;
  for (auto _ : state)
    calls += host::shade_grid(network.network, network.output, network.shader.result, {512, 512}, paths, threads)
                 .shader_calls;
  state.counters["calls/s"] = benchmark::Counter(double(calls), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_shade_grid, rings_512_c, host::Paths::c)
    ->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_shade_grid, rings_512_cpp, host::Paths::cpp)
    ->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvx::bench
