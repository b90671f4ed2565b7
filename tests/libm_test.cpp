// SPDX-License-Identifier: Apache-2.0
// The batch functions' own forms of C library functions, held to the C
// library the C entries call: sinf at every one of the 2^32 arguments on the
// widest instruction set this processor has, and at every 16th on the
// others (each runs the very same operations a lane), fmodf at a dense
// sample of pairs on every one. Seconds on two cores; not instrumented,
// which would take hours.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <host/batch_library.h>

namespace kvx::test {
namespace {

host::Batch_library& library() {
  static host::Batch_library loaded;
  return loaded;
}

// The instruction sets here that have their own forms.
std::vector<std::string> wide_targets() {
  std::vector<std::string> targets;
  std::string const was = library().target();
  for (char const* target : {"avx2", "avx512"})
    if (library().use_target(target)) targets.emplace_back(target);
  library().use_target(was.c_str());
  return targets;
}

std::uint32_t bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

bool instrumented() {
#if defined(KVX_SANITIZED) || defined(KVX_COVERAGE)
  return true;
#else
  return false;
#endif
}

TEST(Libm, SinfAtEveryArgument) {
  if (instrumented()) GTEST_SKIP() << "2^32 arguments, instrumented: hours";
  auto const targets = wide_targets();
  if (targets.empty()) GTEST_SKIP() << "no instruction set with its own sinf here";
  auto* const sin = library().function(catalogue::find("Math_float_sin")->index);
  constexpr std::uint64_t chunk = 1u << 20;
  std::uint64_t differ[2] = {};
  std::uint32_t first[2] = {};
  std::mutex one_at_a_time;
  auto work = [&](unsigned half) {
    std::vector<float> arguments(chunk), expected(chunk), got(chunk);
    for (std::uint64_t start = half * chunk; start < (std::uint64_t{1} << 32); start += 2 * chunk) {
      for (std::uint64_t i = 0; i < chunk; ++i) {
        auto const argument = static_cast<std::uint32_t>(start + i);
        std::memcpy(&arguments[i], &argument, 4);
        expected[i] = ::sinf(arguments[i]);
      }
      for (auto const& target : targets) {
        bool const every = &target == &targets.back();
        if (!every && (start / chunk) % 16 != 0) continue;
        {
          // The instruction set is the process's: one thread at a time sets
          // its own and runs on it.
          std::lock_guard hold(one_at_a_time);
          library().use_target(target.c_str());
          kvx_batch_values const input{arguments.data(), 4};
          sin(nullptr, chunk, &input, {got.data(), 4});
        }
        for (std::uint64_t i = 0; i < chunk; ++i)
          if (bits(got[i]) != bits(expected[i]) && differ[half]++ == 0) first[half] = bits(arguments[i]);
      }
    }
  };
  std::string const was = library().target();
  std::thread other(work, 1u);
  work(0);
  other.join();
  library().use_target(was.c_str());
  EXPECT_EQ(differ[0] + differ[1], 0u) << "first at 0x" << std::hex << (differ[0] ? first[0] : first[1]);
}

TEST(Libm, FmodfAtADenseSampleOfPairs) {
  if (instrumented()) GTEST_SKIP() << "millions of pairs, instrumented: minutes";
  // Every sign and exponent, subnormals, zeros, infinities and NaNs among
  // them, each with several mantissas; every pair of them.
  std::vector<float> values;
  std::uint32_t seed = 1;
  for (std::uint32_t exponent = 0; exponent < 256; ++exponent)
    for (unsigned m = 0; m < 5; ++m) {
      seed = seed * 1664525u + 1013904223u;
      std::uint32_t const mantissa = m == 0 ? 0 : m == 1 ? 0x7fffff : m == 2 ? 1 : seed >> 9;
      for (std::uint32_t sign : {0u, 0x80000000u}) {
        std::uint32_t const b = sign | exponent << 23 | mantissa;
        float f;
        std::memcpy(&f, &b, 4);
        values.push_back(f);
      }
    }
  std::size_t const n = values.size();
  std::vector<float> x(n * n), y(n * n), got(n * n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) x[i * n + j] = values[i], y[i * n + j] = values[j];
  std::vector<float> expected(x.size());
  for (std::size_t k = 0; k < x.size(); ++k) expected[k] = ::fmodf(x[k], y[k]);
  auto* const fmod = library().function(catalogue::find("Math_float_fmod")->index);
  std::string const was = library().target();
  for (char const* target : {"sse2", "avx2", "avx512"}) {
    if (!library().use_target(target)) continue;
    kvx_batch_values const inputs[] = {{x.data(), 4}, {y.data(), 4}};
    fmod(nullptr, x.size(), inputs, {got.data(), 4});
    std::size_t differ = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
      if (bits(got[k]) != bits(expected[k]) && differ++ == 0)
        ADD_FAILURE() << target << ": fmodf(" << x[k] << ", " << y[k] << ") is " << expected[k] << ", the batch "
                      << got[k];
    }
    EXPECT_EQ(differ, 0u) << target << ", of " << x.size() << " pairs";
  }
  library().use_target(was.c_str());
}

}  // namespace
}  // namespace kvx::test
