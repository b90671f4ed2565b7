// SPDX-License-Identifier: Apache-2.0
// The batch interface's layout, measured: the library's arrays of values
// (x y z x y z ...) against arrays of components (x x ... y y ... z z ...)
// for the operations where it could matter, over 1024 points in the first-
// level cache. Each arrays-of-components form is written here over the same
// lanes the library's widest kernels use (AVX-512), in the same order of
// operations, without the library's per-call work (its runs, its check for
// NaNs): what is left of the difference is the layout's, taking the points
// apart into lanes and putting them back.
#include <cstddef>
#include <vector>

#include <benchmark/benchmark.h>

#include <host/batch_library.h>
#include <network/batch_shading.h>

namespace kvx::bench {
namespace {

constexpr std::size_t points = 1024;

std::vector<float> numbers(std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = float(i % 97) * 0.01f - 0.4f;
  return v;
}

void BM_layout_values(benchmark::State& state, char const* shader, unsigned width, unsigned result_width,
                      unsigned parameters) {
  host::Batch_library const& batch = network::batch_library();
  auto* const function = batch.function(catalogue::find(shader)->index);
  std::vector<std::vector<float>> inputs;
  std::vector<kvx_batch_values> values;
  for (unsigned k = 0; k < parameters; ++k) {
    inputs.push_back(numbers(points * width / 4));
    values.push_back({inputs.back().data(), static_cast<std::ptrdiff_t>(width)});
  }
  std::vector<float> out(points * 4);
  for (auto _ : state) {
    function(nullptr, points, values.data(), {out.data(), static_cast<std::ptrdiff_t>(result_width)});
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["points/s"] = benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(batch.target());
}

typedef float Lanes __attribute__((vector_size(64)));

[[gnu::target("avx512f")]] Lanes load(float const* p) {
  Lanes v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
[[gnu::target("avx512f")]] void store(float* p, Lanes v) { __builtin_memcpy(p, &v, sizeof v); }

// dot of two float3 arrays of components: (0 + x x) + y y + z z, in order.
[[gnu::target("avx512f")]] void dot_components(float const* const* a, float const* const* b, float* out) {
  for (std::size_t i = 0; i < points; i += 16) {
    Lanes sum = Lanes{} + 0.0f;
    for (unsigned c = 0; c < 3; ++c) sum = sum + load(a[c] + i) * load(b[c] + i);
    store(out + i, sum);
  }
}

// lerp of colors, a component at a time: (1 - location) start + location end.
[[gnu::target("avx512f")]] void lerp_components(float const* const* start, float const* const* end,
                                                float const* const* location, float* const* out) {
  for (unsigned c = 0; c < 4; ++c)
    for (std::size_t i = 0; i < points; i += 16) {
      Lanes const l = load(location[c] + i);
      store(out[c] + i, (1.0f - l) * load(start[c] + i) + l * load(end[c] + i));
    }
}

void BM_layout_components_dot(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx512f")) return state.SkipWithError("no AVX-512 here");
  std::vector<std::vector<float>> a(3, numbers(points)), b(3, numbers(points));
  float const* pa[3] = {a[0].data(), a[1].data(), a[2].data()};
  float const* pb[3] = {b[0].data(), b[1].data(), b[2].data()};
  std::vector<float> out(points);
  for (auto _ : state) {
    dot_components(pa, pb, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["points/s"] = benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same dot where the host holds values (its structs, NumPy's last axis)
// and splits them into components for the call.
void BM_layout_components_dot_split(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx512f")) return state.SkipWithError("no AVX-512 here");
  std::vector<float> const a = numbers(3 * points), b = numbers(3 * points);
  std::vector<std::vector<float>> ca(3, std::vector<float>(points)), cb(3, std::vector<float>(points));
  float const* pa[3] = {ca[0].data(), ca[1].data(), ca[2].data()};
  float const* pb[3] = {cb[0].data(), cb[1].data(), cb[2].data()};
  std::vector<float> out(points);
  for (auto _ : state) {
    for (std::size_t i = 0; i < points; ++i)
      for (unsigned c = 0; c < 3; ++c) {
        ca[c][i] = a[3 * i + c];
        cb[c][i] = b[3 * i + c];
      }
    dot_components(pa, pb, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["points/s"] = benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_layout_components_lerp(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx512f")) return state.SkipWithError("no AVX-512 here");
  std::vector<std::vector<float>> s(4, numbers(points)), e(4, numbers(points)), l(4, numbers(points)),
      o(4, std::vector<float>(points));
  float const* ps[4] = {s[0].data(), s[1].data(), s[2].data(), s[3].data()};
  float const* pe[4] = {e[0].data(), e[1].data(), e[2].data(), e[3].data()};
  float const* pl[4] = {l[0].data(), l[1].data(), l[2].data(), l[3].data()};
  float* po[4] = {o[0].data(), o[1].data(), o[2].data(), o[3].data()};
  for (auto _ : state) {
    lerp_components(ps, pe, pl, po);
    benchmark::DoNotOptimize(po[0]);
  }
  state.counters["points/s"] = benchmark::Counter(double(points) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_layout_values, dot_float3, "Math_float3_dot", 12, 4, 2);
BENCHMARK(BM_layout_components_dot);
BENCHMARK(BM_layout_components_dot_split);
BENCHMARK_CAPTURE(BM_layout_values, lerp_color, "Math_color_lerp", 16, 16, 3);
BENCHMARK(BM_layout_components_lerp);

}  // namespace
}  // namespace kvx::bench
