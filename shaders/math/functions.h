// SPDX-License-Identifier: Apache-2.0
// Float functions over float, float2 to float4 and color. Each calls the exact
// single-precision C library function or the processor's IEEE operation.
#pragma once

#include <cmath>

#include <math/sqrt.h>
#include <shaders/math/componentwise.h>

namespace kvx::shaders {

// Single-precision pi, 0x40490FDB.
inline constexpr float pi = 3.14159265f;

#define KVX_LIBM_RULE(operation, function) \
  struct op_##operation : Componentwise<op_##operation> { \
    static float scalar(float x) { return ::function(x); } \
  };
KVX_LIBM_RULE(sin, sinf)
KVX_LIBM_RULE(cos, cosf)
KVX_LIBM_RULE(tan, tanf)
KVX_LIBM_RULE(asin, asinf)
KVX_LIBM_RULE(acos, acosf)
KVX_LIBM_RULE(atan, atanf)
KVX_LIBM_RULE(floor, floorf)
KVX_LIBM_RULE(ceil, ceilf)
KVX_LIBM_RULE(log, logf)
KVX_LIBM_RULE(log10, log10f)
#undef KVX_LIBM_RULE

struct op_atan2 : Componentwise<op_atan2> {
  static float scalar(float y, float x) { return ::atan2f(y, x); }
};

// The sum is rounded before the floor, so halves go up: -2.5 gives -2.0.
struct op_round : Componentwise<op_round> {
  static float scalar(float x) { return ::floorf(x + 0.5f); }
};

// Negative and NaN inputs add 1 to modff's fraction: frac(-2.0) is 1.0.
struct op_frac : Componentwise<op_frac> {
  static float scalar(float x) {
    float whole;
    float const fraction = ::modff(x, &whole);
    return x >= 0.0f ? fraction : fraction + 1.0f;
  }
};

struct op_log2 : Componentwise<op_log2> {
  static float scalar(float x) { return ::logf(x) / ::logf(2.0f); }
};

struct op_sqrt : Componentwise<op_sqrt> {
  static float scalar(float x) { return math::guarded_sqrt(x); }
};

// A true division, not a reciprocal estimate: rsqrt(-0.0) is -infinity.
struct op_rsqrt : Componentwise<op_rsqrt> {
  static float scalar(float x) { return 1.0f / math::guarded_sqrt(x); }
};

// Divide first, then multiply.
struct op_degrees : Componentwise<op_degrees> {
  static float scalar(float x) { return (x / pi) * 180.0f; }
};

struct op_radians : Componentwise<op_radians> {
  static float scalar(float x) { return (x / 180.0f) * pi; }
};

// NaN and -0.0 come back unchanged.
struct op_saturate : Componentwise<op_saturate> {
  static float scalar(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
};

// Equal values and NaN give 1.0.
struct op_step : Componentwise<op_step> {
  static float scalar(float threshold, float location) { return location < threshold ? 0.0f : 1.0f; }
};

// Ordered tests: a NaN anywhere reaches the polynomial and gives NaN.
struct op_smoothstep : Componentwise<op_smoothstep> {
  static float scalar(float start, float end, float location) {
    if (start > location) return 0.0f;
    if (location > end) return 1.0f;
    float const t = (location - start) / (end - start);
    return (t * t) * (t * -2.0f + 3.0f);
  }
};

struct op_lerp : Componentwise<op_lerp> {
  static float scalar(float start, float end, float location) {
    return ((1.0f - location) * start) + (location * end);
  }
};

// Screen-space derivatives pass their input through, bit for bit.
struct op_ddx {
  template <Type T>
  static Value<T> apply(Value<T> const& input) { return input; }
};
struct op_ddy : op_ddx {};

}  // namespace kvx::shaders
