// SPDX-License-Identifier: Apache-2.0
// Vector geometry. Results are compared bit for bit, so every sum has a fixed
// order: dot sums start at +0.0 and add the products in component order.
#pragma once

#include <bit>
#include <cstdint>

#include <math/sqrt.h>
#include <shaders/math/arithmetic.h>
#include <shaders/math/componentwise.h>

namespace kvx::shaders {

// Int vector components are converted to float first (rounding to nearest
// above 2^24): there is no integer arithmetic and no overflow.
template <Type T>
inline float dot_sum(Value<T> const& a, Value<T> const& b) {
  float sum = +0.0f;
  for_each_component<Value<T>::size>([&](std::size_t i) {
    sum = sum + static_cast<float>(a.c[i]) * static_cast<float>(b.c[i]);
  });
  return sum;
}

// Plain float dot is the single product: its zero keeps the product's sign.
struct op_dot {
  template <Type T>
  static Value<Type::float_> apply(Value<T> const& l, Value<T> const& r) {
    if constexpr (T == Type::float_) return {{l.c[0] * r.c[0]}};
    else return {{dot_sum(l, r)}};
  }
};

struct op_length {
  template <Type T>
  static Value<Type::float_> apply(Value<T> const& input) {
    if constexpr (T == Type::float_) return {{clear_sign(input.c[0])}};
    else return {{math::guarded_sqrt(dot_sum(input, input))}};
  }
};

struct op_distance {
  template <Type T>
  static Value<Type::float_> apply(Value<T> const& from, Value<T> const& to) {
    Value<T> const d = op_subtract::apply(from, to);
    if constexpr (T == Type::float_) return {{clear_sign(d.c[0])}};
    else return {{math::guarded_sqrt(dot_sum(d, d))}};
  }
};

constexpr bool is_finite_bits(float x) { return (std::bit_cast<std::uint32_t>(x) & 0x7f800000u) != 0x7f800000u; }

// A zero or NaN vector, or one too short to invert, comes back unchanged.
struct op_normalize {
  template <Type T>
  static Value<T> apply(Value<T> const& input) {
    float const inverse = 1.0f / math::guarded_sqrt(dot_sum(input, input));
    if (!is_finite_bits(inverse)) return input;
    Value<T> r;
    for_each_component<Value<T>::size>([&](std::size_t i) { r.c[i] = inverse * input.c[i]; });
    return r;
  }
};

constexpr float flip_sign(float x) { return std::bit_cast<float>(std::bit_cast<std::uint32_t>(x) ^ 0x80000000u); }

// n when ng faces against i; otherwise (also for 0, -0.0 and NaN) n with every
// sign bit flipped.
struct op_faceforward {
  template <Type T>
  static Value<T> apply(Value<T> const& n, Value<T> const& i, Value<T> const& ng) {
    if (dot_sum(ng, i) < 0.0f) return n;
    Value<T> r;
    for_each_component<Value<T>::size>([&](std::size_t k) { r.c[k] = flip_sign(n.c[k]); });
    return r;
  }
};

using Float3 = Value<Type::float3>;

struct op_cross {
  static Float3 apply(Float3 const& l, Float3 const& r) {
    return {{l.c[1] * r.c[2] - l.c[2] * r.c[1],
             l.c[2] * r.c[0] - l.c[0] * r.c[2],
             l.c[0] * r.c[1] - l.c[1] * r.c[0]}};
  }
};

struct op_reflect {
  static Float3 apply(Float3 const& i, Float3 const& n) {
    float const d = dot_sum(n, i);
    float const t = d + d;
    return {{i.c[0] - t * n.c[0], i.c[1] - t * n.c[1], i.c[2] - t * n.c[2]}};
  }
};

// k = 0 is not total internal reflection; a NaN k gives a NaN result.
struct op_refract {
  static Float3 apply(Float3 const& i, Float3 const& n, Value<Type::float_> const& eta_value) {
    float const eta = eta_value.c[0];
    float const d = dot_sum(n, i);
    float const k = 1.0f - (eta * eta) * (1.0f - d * d);
    if (k < 0.0f) return {{0.0f, 0.0f, 0.0f}};
    float const t = eta * d + math::guarded_sqrt(k);
    return {{eta * i.c[0] - t * n.c[0], eta * i.c[1] - t * n.c[1], eta * i.c[2] - t * n.c[2]}};
  }
};

}  // namespace kvx::shaders
