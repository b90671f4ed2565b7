// SPDX-License-Identifier: Apache-2.0
// Cost per call of the library's C entries and shader objects, each beside
// its floor (bench/floor_entry.h) measured in the same run, for a representative
// shader of every family and result type, in plain mode and in gathering mode
// with and without a request list. Also fast_pow2 against exp2f, and loading.
//
// The table printed last gives each entry's time as a ratio to its floor.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <host/data_block.h>
#include <shaders/math/arithmetic.h>

#include "cases.h"

namespace kvx::bench {
namespace {

host::Library& library() {
  static host::Library loaded;
  return loaded;
}

void run_entry(benchmark::State& state, Entry* entry, catalogue::Shader const& row, Mode mode) {
  Bench_host b(row, mode);
  alignas(16) unsigned char result[16];
  for (auto _ : state) {
    entry(result, b.host.record().get(), b.parameters.params());
    benchmark::DoNotOptimize(result);
  }
}

void run_main(benchmark::State& state, catalogue::Shader const& row) {
  Bench_host b(row, Mode::plain);
  host::Block inputs;
  for (auto const& p : row.parameters()) inputs.set_bytes(p.name, b.parameters.slot(p), width(p.type));
  host::Shader_object object(*library().shader_plugin(row.index), inputs);
  host::Block output;
  output.add_result();
  for (auto _ : state) {
    object.main(b.host.state(), output);
    benchmark::ClobberMemory();
  }
}

void register_case(Case const& c) {
  std::string const name(c.row->name);
  for (Mode mode : {Mode::plain, Mode::gather, Mode::gather_list}) {
    std::string const suffix = name + "/" + mode_names[int(mode)];
    catalogue::Shader const* row = c.row;
    benchmark::RegisterBenchmark(("entry/" + suffix).c_str(), [row, mode](benchmark::State& s) {
      run_entry(s, library().function<Entry>(std::string(row->name).c_str()), *row, mode);
    });
    Entry* floor = c.floor[int(mode)];
    benchmark::RegisterBenchmark(("floor/" + suffix).c_str(),
                                 [row, mode, floor](benchmark::State& s) { run_entry(s, floor, *row, mode); });
  }
  catalogue::Shader const* row = c.row;
  benchmark::RegisterBenchmark(("main/" + name).c_str(), [row](benchmark::State& s) { run_main(s, *row); });
}

std::vector<float> exponents() {
  std::vector<float> x(1024);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = -20.0f + 40.0f * float(i) / float(x.size());
  return x;
}

// Math_float_exp2's computation: one component.
void BM_fast_pow2(benchmark::State& state) {
  auto const x = exponents();
  for (auto _ : state)
    for (float v : x) {
      catalogue::Value<catalogue::Type::float_> input;
      input.c[0] = v;
      benchmark::DoNotOptimize(shaders::op_exp2::apply(input));
    }
  state.SetItemsProcessed(state.iterations() * std::int64_t(x.size()));
}

// Math_float4_exp2's computation: four components at a time.
void BM_fast_pow2_float4(benchmark::State& state) {
  auto const x = exponents();
  for (auto _ : state)
    for (std::size_t i = 0; i < x.size(); i += 4) {
      catalogue::Value<catalogue::Type::float4> v;
      std::memcpy(v.c, &x[i], sizeof v.c);
      benchmark::DoNotOptimize(shaders::op_exp2::apply(v));
    }
  state.SetItemsProcessed(state.iterations() * std::int64_t(x.size()));
}

void BM_exp2f(benchmark::State& state) {
  auto const x = exponents();
  for (auto _ : state)
    for (float v : x) benchmark::DoNotOptimize(::exp2f(v));
  state.SetItemsProcessed(state.iterations() * std::int64_t(x.size()));
}

void BM_dlopen_dlclose(benchmark::State& state) {
  std::string const path = host::Library::default_path();
  for (auto _ : state) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) state.SkipWithError(dlerror());
    dlclose(handle);
  }
}

// Keeps each run's time per iteration, to print entries against floors.
class Ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(std::vector<Run> const& runs) override {
    for (auto const& run : runs)
      if (run.iterations) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void print_ratios() const {
    std::printf("\n%-42s %12s %12s %8s\n", "C entry", "entry ns", "floor ns", "ratio");
    for (auto const& [name, time] : times_) {
      if (!name.starts_with("entry/")) continue;
      auto floor = times_.find("floor/" + name.substr(6));
      if (floor == times_.end()) continue;
      std::printf("%-42s %12.1f %12.1f %8.3f\n", name.substr(6).c_str(), time, floor->second, time / floor->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace kvx::bench

int main(int argc, char** argv) {
  using namespace kvx;
  using namespace kvx::bench;
  // Loading first, while nothing else holds the library.
  benchmark::RegisterBenchmark("load/dlopen+dlclose", BM_dlopen_dlclose);
  for (auto const& c : cases()) register_case(c);
  benchmark::RegisterBenchmark("math/fast_pow2", BM_fast_pow2);
  benchmark::RegisterBenchmark("math/fast_pow2_float4", BM_fast_pow2_float4);
  benchmark::RegisterBenchmark("math/exp2f", BM_exp2f);

  benchmark::Initialize(&argc, argv);
  Ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratios();
  benchmark::Shutdown();
}
