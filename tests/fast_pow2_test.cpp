// SPDX-License-Identifier: Apache-2.0
// fast_pow2, as every exp2 shader computes it and as the library exports it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "support.h"

namespace kvx::test {
namespace {

float exported_fast_pow2(float x) {
  using Fast_pow2 = float(float);
  static auto* f = library().function<Fast_pow2>("_ZN2zr4math9fast_pow2Ef");
  return f(x);
}

float exp2_shader(float x) { return float_at(evaluate("Math_float_exp2", {floats(x)})); }

// The definition, one single-precision step at a time; a y without a 32-bit
// truncation gives 0x80000000, as the conversion instruction does.
float defined_fast_pow2(float x) {
  float const f = x - std::floor(x);
  float const a = x + 127.0f;
  float const c = (f - f * f) * 0.33971f;
  float const y = (a - c) * 8388608.0f;
  bool const fits = y >= -2147483648.0f && y < 2147483648.0f;
  return from_bits(fits ? std::uint32_t(std::int32_t(y)) : 0x80000000u);
}

struct Case {
  float x;
  std::uint32_t expected;
};

TEST(Fast_pow2, ExportedFunctionAndShaderAgreeWithTheConstruction) {
  Case const cases[] = {
      {0.0f, bits(1.0f)},         {1.0f, bits(2.0f)},         {3.0f, bits(8.0f)},
      {-1.0f, bits(0.5f)},        {0.5f, bits(1.4150696f)},   {-0.5f, bits(0.70753479f)},
      {10.25f, bits(1214.7812f)}, {127.5f, bits(2.4076161e38f)},
      {-127.0f, bits(0.0f)},      {128.0f, bits(INFINITY)},   {129.0f, 0x80000000u},
      {-128.0f, bits(-INFINITY)}, {NAN, 0x80000000u},         {INFINITY, 0x80000000u},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(bits(exported_fast_pow2(c.x)), c.expected) << c.x;
    EXPECT_EQ(bits(exp2_shader(c.x)), c.expected) << c.x;
  }
}

// Instrumented builds look for memory faults, races or unrun lines, not
// different arithmetic: a spread of inputs is enough there; the plain build
// walks them all.
#if defined(KVX_COVERAGE)
constexpr std::uint64_t input_stride = 4093;
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::uint64_t input_stride = 251;
#else
constexpr std::uint64_t input_stride = 1;
#endif

// The library computes f without a floor and relies on the conversion's
// out-of-range answer where truncation fails: only every input settles that.
TEST(Fast_pow2, EveryInputGivesTheBitsOfTheDefinition) {
  unsigned const workers = std::max(1u, std::thread::hardware_concurrency());
  std::uint64_t const span = (std::uint64_t{1} << 32) / workers + 1;
  std::atomic<std::uint64_t> mismatches{0};
  std::atomic<std::uint32_t> first{0};
  {
    std::vector<std::jthread> threads;
    for (unsigned w = 0; w < workers; ++w)
      threads.emplace_back([&, w] {
        std::uint64_t const end = std::min((w + 1) * span, std::uint64_t{1} << 32);
        for (std::uint64_t u = w * span; u < end; u += input_stride) {
          float const x = from_bits(std::uint32_t(u));
          if (bits(exported_fast_pow2(x)) != bits(defined_fast_pow2(x)) && mismatches++ == 0)
            first = std::uint32_t(u);
        }
      });
  }
  EXPECT_EQ(mismatches, 0u) << "first at x = 0x" << std::hex << first.load();
}

TEST(Fast_pow2, SubnormalBelowMinus126) {
  float v = exported_fast_pow2(-126.5f);
  EXPECT_TRUE(std::fpclassify(v) == FP_SUBNORMAL);
  EXPECT_NEAR(v, 4.879e-39f, 0.001e-39f);
}

TEST(Fast_pow2, ErrorStaysWithinTheApproximationsBound) {
  for (float x = -20.0f; x < 20.0f; x += 0.0625f)
    EXPECT_NEAR(exp2_shader(x) / std::exp2(x), 1.0, 0.0028) << x;
}

TEST(Fast_pow2, ExportsItsConstant) {
  auto const* exp_c = static_cast<float const*>(library().symbol("_ZZN2zr4math9fast_pow2EfE5EXP_C"));
  ASSERT_NE(exp_c, nullptr);
  EXPECT_EQ(bits(*exp_c), 0x4B000000u);
}

}  // namespace
}  // namespace kvx::test
