// SPDX-License-Identifier: Apache-2.0
// Which instruction set the batch functions run on: the widest this
// processor and its operating system support, chosen at the first call (or
// the one KVX_BATCH_TARGET names), and the interface's functions beside the
// shaders'. Every instruction set gives the same bits.
#include <cpuid.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <bridge/batch/driver.h>
#include <bridge/interface/export.h>

namespace kvx::bridge::batch {
namespace {

// What the processor has, from cpuid, and what the operating system saves
// on a switch of tasks, from xgetbv: a wide register it does not save is not
// there to use.
struct Features {
  bool avx2 = false;
  bool avx512 = false;
};

Features features() {
  Features have;
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return have;
  std::uint32_t saved_low, saved_high;
  __asm__("xgetbv" : "=a"(saved_low), "=d"(saved_high) : "c"(0));
  bool const ymm = (saved_low & 0x6) == 0x6;            // SSE and AVX state
  bool const zmm = (saved_low & 0xe6) == 0xe6;          // and the AVX-512 state
  bool const fma = c & bit_FMA;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return have;
  have.avx2 = ymm && fma && (b & bit_AVX2);
  have.avx512 = have.avx2 && zmm && (b & bit_AVX512F) && (b & bit_AVX512DQ) && (b & bit_AVX512BW) &&
                (b & bit_AVX512VL);
  return have;
}

struct Target {
  char const* name;
  shaders::batch::Kernel_table const& (*kernels)();
  bool (*supported)(Features const&);
};
constexpr Target targets[] = {
    {"sse2", &shaders::batch::sse2::kernels, [](Features const&) { return true; }},
    {"avx2", &shaders::batch::avx2::kernels, [](Features const& f) { return f.avx2; }},
    {"avx512", &shaders::batch::avx512::kernels, [](Features const& f) { return f.avx512; }},
};

constinit std::atomic<Target const*> in_use{nullptr};

Target const* named(std::string_view name) {
  for (auto const& target : targets)
    if (name == target.name) return target.supported(features()) ? &target : nullptr;
  return nullptr;
}

Target const& chosen() {
  Target const* target = in_use.load(std::memory_order_acquire);
  if (target) [[likely]] return *target;
  char const* wanted = std::getenv("KVX_BATCH_TARGET");
  target = wanted && *wanted ? named(wanted) : nullptr;
  if (!target) {
    Features const have = features();
    for (auto const& candidate : targets)
      if (candidate.supported(have)) target = &candidate;
  }
  Target const* none = nullptr;
  in_use.compare_exchange_strong(none, target, std::memory_order_acq_rel);
  return *in_use.load(std::memory_order_acquire);
}

}  // namespace

shaders::batch::Kernel_table const& kernels() { return chosen().kernels(); }

}  // namespace kvx::bridge::batch

extern "C" {

KVX_EXPORT int kvx_batch_version(void) { return KVX_BATCH_VERSION; }

KVX_EXPORT char const* kvx_batch_target(void) { return kvx::bridge::batch::chosen().name; }

KVX_EXPORT int kvx_batch_use_target(char const* name) {
  if (!name) return 0;
  auto const* target = kvx::bridge::batch::named(name);
  if (!target) return 0;
  kvx::bridge::batch::in_use.store(target, std::memory_order_release);
  return 1;
}

KVX_EXPORT kvx_batch_function* kvx_batch_find(char const* shader) {
  static constexpr kvx_batch_function* functions[] = {
#define KVX_SHADER(index, name, operation, type) &kvx_batch_##name,
#include <catalogue/shaders.def>
  };
  static_assert(std::size(functions) == kvx::catalogue::shader_count);
  if (!shader) return nullptr;
  auto const* row = kvx::catalogue::find(shader);
  return row ? functions[row->index] : nullptr;
}
}
