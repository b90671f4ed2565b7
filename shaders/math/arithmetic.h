// SPDX-License-Identifier: Apache-2.0
// Arithmetic family: add to sign, over the float kinds and the int kinds.
// Float rules are IEEE single precision, one rounding per operation in the
// order written; int rules are 32-bit two's complement with wrap-around.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include <math/convert.h>
#include <math/fast_pow2.h>
#include <shaders/math/componentwise.h>

namespace kvx::shaders {

// Integer Wrap-around
// Signed overflow is done in unsigned arithmetic, where it is defined.
constexpr std::int32_t wrap(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }
constexpr std::uint32_t bits(std::int32_t v) { return static_cast<std::uint32_t>(v); }

constexpr float clear_sign(float x) { return std::bit_cast<float>(std::bit_cast<std::uint32_t>(x) & 0x7fffffffu); }

struct op_add : Componentwise<op_add> {
  static float scalar(float l, float r) { return l + r; }
  static std::int32_t scalar(std::int32_t l, std::int32_t r) { return wrap(bits(l) + bits(r)); }
};

struct op_subtract : Componentwise<op_subtract> {
  static float scalar(float l, float r) { return l - r; }
  static std::int32_t scalar(std::int32_t l, std::int32_t r) { return wrap(bits(l) - bits(r)); }
};

struct op_multiply : Componentwise<op_multiply> {
  static float scalar(float l, float r) { return l * r; }
  static std::int32_t scalar(std::int32_t l, std::int32_t r) { return wrap(bits(l) * bits(r)); }
};

struct op_divide : Componentwise<op_divide> {
  static float scalar(float l, float r) { return l / r; }
  // Never traps: a zero divisor gives 0, and -2147483648 / -1 wraps to itself.
  static std::int32_t scalar(std::int32_t l, std::int32_t r) {
    if (r == 0) return 0;
    if (r == -1) return wrap(0u - bits(l));
    return l / r;
  }
};

struct op_abs : Componentwise<op_abs> {
  // Clearing the sign bit: -0.0 gives +0.0 and a NaN keeps its payload.
  static float scalar(float x) { return clear_sign(x); }
  static std::int32_t scalar(std::int32_t x) { return x < 0 ? wrap(0u - bits(x)) : x; }
};

struct op_sign : Componentwise<op_sign> {
  static float scalar(float x) { return 0.0f > x ? -1.0f : (0.0f < x ? 1.0f : 0.0f); }
  static std::int32_t scalar(std::int32_t x) { return x < 0 ? -1 : (x > 0 ? 1 : 0); }
};

// Ordered comparisons: false against NaN, so min and max return `left` when
// either operand is NaN or both are equal.
struct op_min : Componentwise<op_min> {
  static float scalar(float l, float r) { return l > r ? r : l; }
  static std::int32_t scalar(std::int32_t l, std::int32_t r) { return r < l ? r : l; }
};

struct op_max : Componentwise<op_max> {
  static float scalar(float l, float r) { return r > l ? r : l; }
  static std::int32_t scalar(std::int32_t l, std::int32_t r) { return r > l ? r : l; }
};

// `min` wins only when it is above `input`, so a NaN input comes back as is,
// a NaN bound is ignored, and min > max gives min below min and max elsewhere.
struct op_clamp : Componentwise<op_clamp> {
  template <class C>
  static C scalar(C in, C lo, C hi) { return lo > in ? lo : (in > hi ? hi : in); }
};

struct op_pow : Componentwise<op_pow> {
  static float scalar(float b, float e) { return ::powf(b, e); }
  // The one double-precision step; an out-of-range or infinite power gives
  // -2147483648.
  static std::int32_t scalar(std::int32_t b, std::int32_t e) {
    return math::truncate_to_int32(std::pow(static_cast<double>(b), static_cast<double>(e)));
  }
};

struct op_exp : Componentwise<op_exp> {
  static float scalar(float x) { return ::expf(x); }
};

// All components at once on the vector unit, each exactly fast_pow2.
struct op_exp2 {
  template <Type T>
  static Value<T> apply(Value<T> const& input) {
    Value<T> r;
    math::fast_pow2<Value<T>::size>(input.c, r.c);
    return r;
  }
};

struct op_fmod : Componentwise<op_fmod> {
  static float scalar(float l, float r) { return ::fmodf(l, r); }
};

}  // namespace kvx::shaders
