// SPDX-License-Identifier: Apache-2.0
// Shared by the tests: the loaded library, values as bytes, and evaluation of
// a shader through a shader object made by its plug-in.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <catalogue/catalogue.h>
#include "test_host.h"
#include <host/library.h>
#include <host/parameter_block.h>

namespace kvx::test {

// A test that hands the library a mistake on purpose says so first: against
// the checked plug-in, every other test must leave no finding.
void mistakes_on_purpose();

// Whether the suite runs against the checked plug-in (KVX_CHECKED_SUITE set,
// with KVX_LIBRARY naming it).
bool checked_suite();

// Loaded once per test process, as a renderer would keep it.
host::Library& library();

catalogue::Shader const& row(std::string_view shader);

// Names the cases of a suite instantiated over catalogue indices.
inline std::string shader_test_name(::testing::TestParamInfo<unsigned> const& info) {
  return std::string(catalogue::shaders[info.param].name);
}

// initializer(i) for the shader's catalogue index, as the plug-in subclass.
ZR::SHADER::Software_shader_plugin* new_plugin(std::string_view shader);

inline std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float from_bits(std::uint32_t u) { return std::bit_cast<float>(u); }
inline float nan_with_payload(std::uint32_t payload = 0x1234) { return from_bits(0x7fc00000u | payload); }
inline float const nan = nan_with_payload();

template <class... F>
catalogue::Value_bytes floats(F... values) {
  catalogue::Value_bytes b{};
  float const v[] = {static_cast<float>(values)...};
  std::memcpy(b.data(), v, sizeof v);
  return b;
}
template <class... I>
catalogue::Value_bytes ints(I... values) {
  catalogue::Value_bytes b{};
  std::int32_t const v[] = {static_cast<std::int32_t>(values)...};
  std::memcpy(b.data(), v, sizeof v);
  return b;
}
catalogue::Value_bytes bools(std::initializer_list<int> values);

inline float float_at(catalogue::Value_bytes const& b, int i = 0) {
  float f;
  std::memcpy(&f, b.data() + 4 * i, 4);
  return f;
}
inline std::int32_t int_at(catalogue::Value_bytes const& b, int i = 0) {
  std::int32_t v;
  std::memcpy(&v, b.data() + 4 * i, 4);
  return v;
}

// The tests keep one host alive at a time: the newest live one answers
// zr_get_korvex_interface.

// Runs `shader` on a shader object captured from a data block that holds the
// arguments under the parameter names, in parameter order, and returns what
// main stored under "result" (zeros past the result's width).
catalogue::Value_bytes evaluate(std::string_view shader, std::vector<catalogue::Value_bytes> const& arguments,
                                kvx::test::Recording_host* host = nullptr);

// One float, and shaders of floats and ints evaluated through shader objects.
inline catalogue::Value_bytes f(float v) { return floats(v); }
inline float eval1(char const* shader, float a) { return float_at(evaluate(shader, {f(a)})); }
inline float eval2(char const* shader, float a, float b) { return float_at(evaluate(shader, {f(a), f(b)})); }
inline float eval3(char const* shader, float a, float b, float c) {
  return float_at(evaluate(shader, {f(a), f(b), f(c)}));
}
inline std::int32_t ieval2(char const* shader, std::int32_t a, std::int32_t b) {
  return int_at(evaluate(shader, {ints(a), ints(b)}));
}
inline float const inf = INFINITY;

#define EXPECT_BITS(actual, expected) EXPECT_EQ(::kvx::test::bits(actual), ::kvx::test::bits(expected))


// The C side

inline constexpr std::uint32_t tag_connected = 0x51;  // any other tag

using C_block = host::Parameter_block;

using Entry = int(void* result, Host_state* state, void* params);
Entry* c_entry(std::string_view shader);

inline constexpr std::uint8_t canary = 0xA5;

// What a C call returned and left in a canary-filled 32-byte result area.
struct C_result {
  int returned;
  std::array<std::uint8_t, 32> area;
  catalogue::Value_bytes value() const {
    catalogue::Value_bytes b;
    std::memcpy(b.data(), area.data(), 16);
    return b;
  }
  // Value_bytes from the start that no longer hold the canary, up to the last one.
  unsigned written() const {
    unsigned n = 0;
    for (unsigned i = 0; i < area.size(); ++i)
      if (area[i] != canary) n = i + 1;
    return n;
  }
};

C_result call_c(std::string_view shader, kvx::test::Recording_host& host, C_block& block);
C_result call_c(Entry* entry, kvx::test::Recording_host& host, C_block& block);

// The C entry in plain mode with every parameter a constant in its slot.
catalogue::Value_bytes evaluate_c(std::string_view shader, std::vector<catalogue::Value_bytes> const& arguments,
                                  kvx::test::Recording_host* host = nullptr);

// The virtual table slot a pointer to a virtual member designates (Itanium
// C++ ABI: one more than the byte offset of the entry in the table).
template <class Member>
unsigned slot_of(Member member) {
  struct {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof member == sizeof raw);
  std::memcpy(&raw, &member, sizeof raw);
  return static_cast<unsigned>((raw.pointer - 1) / sizeof(void*));
}

// The edge values of each kind, as 32-bit words (truth bytes in the low
// byte): ±0, subnormals, ±1, ±infinity, NaNs of either sign with payloads,
// magnitudes past 2^24, the integers' ends.
std::span<std::uint32_t const> edge_words(catalogue::Kind kind);
// Edge value number `pick` of t's kind in component 0; the other components
// take the ones after it, five apart, so that every component meets every
// combination too.
catalogue::Value_bytes edge_value(catalogue::Type t, unsigned pick);
// Inputs that find the edges, by round and parameter.
catalogue::Value_bytes corpus_value(catalogue::Type t, unsigned round, unsigned k);

// splitmix64: the same numbers on every machine and every run.
std::uint64_t mix(std::uint64_t x);
// Random bits for parameter k in a round: every other round any 32 bits
// (NaNs, infinities and subnormals among them), the others floats from 2^-24
// to 2^24 and integers of every size, where most shaders compute something
// of interest.
catalogue::Value_bytes random_value(catalogue::Type t, std::uint64_t key, unsigned round, unsigned k);
// Host answers that differ by id and source and from round to round, for the
// state read-outs.
void fill_state(kvx::test::Recording_host& host, unsigned round);

// Bit-for-bit comparison of the first `count` floats.
::testing::AssertionResult same_floats(catalogue::Value_bytes const& actual, std::initializer_list<float> expected);
::testing::AssertionResult same_bytes(catalogue::Value_bytes const& actual, catalogue::Value_bytes const& expected,
                                      unsigned width);

}  // namespace kvx::test
