// Shared by the tests: the loaded library, values as bytes, and evaluation of
// a shader through a shader object made by its plug-in.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <catalogue/catalogue.h>
#include <host/host.h>
#include <host/library.h>

namespace kvx::test {

using Bytes = std::array<std::uint8_t, 16>;

// Loaded once per test process, as a renderer would keep it.
host::Library& library();

catalogue::Shader const& row(std::string_view shader);

// initializer(i) for the shader's catalogue index, as the plug-in subclass.
ZR::SHADER::Software_shader_plugin* new_plugin(std::string_view shader);

inline std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float from_bits(std::uint32_t u) { return std::bit_cast<float>(u); }
inline float nan_with_payload(std::uint32_t payload = 0x1234) { return from_bits(0x7fc00000u | payload); }

template <class... F>
Bytes floats(F... values) {
  Bytes b{};
  float const v[] = {static_cast<float>(values)...};
  std::memcpy(b.data(), v, sizeof v);
  return b;
}
template <class... I>
Bytes ints(I... values) {
  Bytes b{};
  std::int32_t const v[] = {static_cast<std::int32_t>(values)...};
  std::memcpy(b.data(), v, sizeof v);
  return b;
}
Bytes bools(std::initializer_list<int> values);

inline float float_at(Bytes const& b, int i = 0) {
  float f;
  std::memcpy(&f, b.data() + 4 * i, 4);
  return f;
}
inline std::int32_t int_at(Bytes const& b, int i = 0) {
  std::int32_t v;
  std::memcpy(&v, b.data() + 4 * i, 4);
  return v;
}

// Runs `shader` on a shader object captured from a data block that holds the
// arguments under the parameter names, in parameter order, and returns what
// main stored under "result" (zeros past the result's width).
Bytes evaluate(std::string_view shader, std::vector<Bytes> const& arguments, host::Host* host = nullptr);

// Bit-for-bit comparison of the first `count` floats.
::testing::AssertionResult same_floats(Bytes const& actual, std::initializer_list<float> expected);
::testing::AssertionResult same_bytes(Bytes const& actual, Bytes const& expected, unsigned width);

}  // namespace kvx::test
