// SPDX-License-Identifier: Apache-2.0
// Functions of the C library over lanes, for the instruction set of the unit
// that includes this (lanes.h), each to the bit of the function the scalar
// operations call:
//
// - sinf: the C library's own algorithm on processors with FMA, as its
//   x86-64 build runs it there (its `fma` variant): the argument reduced by
//   pi/2 in double precision, a polynomial of the quadrant in double
//   precision with its multiply-adds fused as that build fuses them, rounded
//   to float once. Arguments below 2^-12 in magnitude come back as they are;
//   120 or more, infinities and NaNs go to the C library. Before the first
//   use a sample of arguments across every branch is held to the library's
//   answers, and if one differs (another library, another algorithm) every
//   point goes to it. A test holds it to the library at all 2^32 arguments.
// - fmodf: exact, as the remainder always is: x - q y for the quotient q
//   truncated, worked out in double precision where q is below 2^29; the
//   rest (a zero or infinite divisor, an infinite dividend, a NaN, a quotient
//   beyond 2^29) goes to the C library.
//
// Lanes that go to the C library are computed there one at a time, with the
// very call the scalar operation makes.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>

#include <shaders/batch/lanes.h>

namespace kvx::shaders::batch::KVX_BATCH_TARGET {

// Lane j of x through the scalar function, where `scalar` says.
template <class Function>
KVX_LANE F scalar_lanes(F x, I scalar, Function const& function) {
  if (!any(scalar)) [[likely]] return x;
  float values[lanes];
  std::int32_t which[lanes];
  store(values, x);
  store(which, scalar);
  for (unsigned j = 0; j < lanes; ++j)
    if (which[j]) values[j] = function(j);
  return load<F>(values);
}

#if KVX_TARGET_IS(sse2)
// Without FMA the library's sinf is not the one below: its points go to it.
inline constexpr bool has_libm_lanes = false;
inline bool sin_holds() { return false; }
KVX_LANE F sin(F x) {
  for (unsigned j = 0; j < lanes; ++j) x[j] = ::sinf(x[j]);
  return x;
}
#else
inline constexpr bool has_libm_lanes = true;

inline constexpr unsigned half = lanes / 2;
typedef double D __attribute__((vector_size(4 * lanes)));
typedef float H __attribute__((vector_size(2 * lanes)));
typedef std::int32_t HI __attribute__((vector_size(2 * lanes)));

KVX_LANE D fma(D a, D b, D c) {
#if KVX_TARGET_IS(avx512)
  return _mm512_fmadd_pd(a, b, c);
#else
  return _mm256_fmadd_pd(a, b, c);
#endif
}
// c - a b, rounded once.
KVX_LANE D fnma(D a, D b, D c) {
#if KVX_TARGET_IS(avx512)
  return _mm512_fnmadd_pd(a, b, c);
#else
  return _mm256_fnmadd_pd(a, b, c);
#endif
}
KVX_LANE HI truncate(D x) {
#if KVX_TARGET_IS(avx512)
  return reinterpret_cast<HI>(_mm512_mask_cvttpd_epi32(__m256i{}, 0xff, x));
#else
  return reinterpret_cast<HI>(_mm256_cvttpd_epi32(x));
#endif
}
KVX_LANE D to_double(HI x) { return __builtin_convertvector(x, D); }
KVX_LANE D to_double(H x) { return __builtin_convertvector(x, D); }
KVX_LANE H to_float(D x) { return __builtin_convertvector(x, H); }
KVX_LANE D splat_double(double x) {
  D v;
  for (unsigned j = 0; j < half; ++j) v[j] = x;
  return v;
}
template <class V>
KVX_LANE V double_mask(HI mask) {
  return reinterpret_cast<V>(__builtin_convertvector(mask, std::int64_t __attribute__((vector_size(4 * lanes)))));
}

#if KVX_TARGET_IS(avx512)
#define KVX_LOW_HALF 0, 1, 2, 3, 4, 5, 6, 7
#define KVX_HIGH_HALF 8, 9, 10, 11, 12, 13, 14, 15
#define KVX_BOTH_HALVES 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
#else
#define KVX_LOW_HALF 0, 1, 2, 3
#define KVX_HIGH_HALF 4, 5, 6, 7
#define KVX_BOTH_HALVES 0, 1, 2, 3, 4, 5, 6, 7
#endif
KVX_LANE H low(F x) { return __builtin_shufflevector(x, x, KVX_LOW_HALF); }
KVX_LANE H high(F x) { return __builtin_shufflevector(x, x, KVX_HIGH_HALF); }
KVX_LANE HI low(I x) { return __builtin_shufflevector(x, x, KVX_LOW_HALF); }
KVX_LANE HI high(I x) { return __builtin_shufflevector(x, x, KVX_HIGH_HALF); }
KVX_LANE F join(H lo, H hi) { return __builtin_shufflevector(lo, hi, KVX_BOTH_HALVES); }
#undef KVX_LOW_HALF
#undef KVX_HIGH_HALF
#undef KVX_BOTH_HALVES

// The C library's constants for single-precision sine and cosine.
inline constexpr double hpi_inv = 0x1.45F306DC9C883p+23;  // 2^24 / (pi / 2)
inline constexpr double hpi = 0x1.921FB54442D18p+0;       // pi / 2
inline constexpr double s1 = -0x1.555545995A603p-3;
inline constexpr double s2 = 0x1.1107605230BC4p-7;
inline constexpr double s3 = -0x1.994EB3774CF24p-13;
inline constexpr double c0 = 1.0;
inline constexpr double c1 = -0x1.FFFFFFD0C621Cp-2;
inline constexpr double c2 = 0x1.55553E1068F19p-5;
inline constexpr double c3 = -0x1.6C087E89A359Dp-10;
inline constexpr double c4 = 0x1.99343027BF8C3p-16;

typedef std::int64_t DI __attribute__((vector_size(4 * lanes)));
typedef std::uint64_t DU __attribute__((vector_size(4 * lanes)));
KVX_LANE D select_double(HI mask, D yes, D no) { return __builtin_convertvector(mask, DI) ? yes : no; }
KVX_LANE D select_double(DI mask, D yes, D no) { return mask ? yes : no; }
KVX_LANE D abs_double(D x) { return reinterpret_cast<D>(reinterpret_cast<DU>(x) & 0x7fffffffffffffffu); }
KVX_LANE D copy_sign_double(D magnitude, D sign) {
  return reinterpret_cast<D>((reinterpret_cast<DU>(magnitude) & 0x7fffffffffffffffu) |
                             (reinterpret_cast<DU>(sign) & 0x8000000000000000u));
}
KVX_LANE D trunc(D x) {
#if KVX_TARGET_IS(avx512)
  return _mm512_mask_roundscale_pd(x, 0xff, x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
#else
  return _mm256_round_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
#endif
}

// The polynomials of the quadrant n of the reduced argument r: the sine's
// for sinf in even quadrants (cosf in odd ones), the cosine's otherwise;
// their sign, and the table of coefficients, from the quadrant.
KVX_LANE D quadrant_polynomial(D r, HI n, HI cosine_poly) {
  D const x2 = r * r;
  D const xs = r * select_double(((n + 1) & 2) != 0, splat_double(-1.0), splat_double(1.0));
  D const s1v = fma(x2, splat_double(s3), splat_double(s2));
  D const x3 = x2 * xs;
  D const x7 = x2 * x3;
  D const sine = fma(s1v, x7, fma(x3, splat_double(s1), xs));
  D const flip = select_double((n & 2) != 0, splat_double(-1.0), splat_double(1.0));
  D const x4 = x2 * x2;
  D const c1v = fma(x2, flip * c1, flip * c0);
  D const c2v = fma(x2, flip * c4, flip * c3);
  D const x6 = x2 * x4;
  D const cosine = fma(c2v, x6, fma(x4, flip * c2, c1v));
  return select_double(cosine_poly, cosine, sine);
}

// sinf of half a vector, its arguments below 120 in magnitude: reduced by
// pi/2 (not at all below 0.75, where the quadrant is 0).
typedef std::uint32_t HU __attribute__((vector_size(2 * lanes)));

KVX_LANE H sin_half(H y) {
  D const x = to_double(y);
  // The quadrant, rounded as the C library rounds it; added without a sign,
  // as lanes the C library computes itself may overflow here.
  HI const n = reinterpret_cast<HI>(reinterpret_cast<HU>(truncate(x * hpi_inv)) + 0x800000u) >> 24;
  D const r = fnma(to_double(n), splat_double(hpi), x);
  return to_float(quadrant_polynomial(r, n, (n & 1) != 0));
}

// The lanes of x whose sinf the C library computes itself here: 120 or
// more in magnitude, infinities, NaNs.
KVX_LANE I sin_by_library(F x) { return (as_bits(x) & 0x7fffffffu) >= 0x42f00000u; }
// The lanes that are their own sine: 2^-12 or less in magnitude.
KVX_LANE I sin_unchanged(F x) { return (as_bits(x) & 0x7fffffffu) < 0x39800000u; }

// sinf of every lane.
KVX_LANE F sin(F x) {
  F const r = select(sin_unchanged(x), x, join(sin_half(low(x)), sin_half(high(x))));
  return scalar_lanes(r, sin_by_library(x), [&](unsigned j) { return ::sinf(x[j]); });
}

// Whether sin above is the C library's sinf, held to it at a sample of
// arguments across its branches the first time it is asked.
inline bool sin_holds() {
  static constinit std::atomic<int> known{0};  // 0 not yet known, 1 holds, 2 does not
  int state = known.load(std::memory_order_acquire);
  if (state == 0) [[unlikely]] {
    state = 1;
    std::uint32_t bits = 0x12345678u;
    for (unsigned i = 0; i < 1u << 13 && state == 1; i += lanes) {
      float arguments[lanes];
      for (unsigned j = 0; j < lanes; ++j) {
        bits = bits * 1664525u + 1013904223u;
        // Magnitudes from 2^-14 to 2^8, both signs: every branch and quadrant.
        std::uint32_t const exponent = 127 - 14 + (bits >> 8) % 22;
        arguments[j] = __builtin_bit_cast(float, (bits & 0x807fffffu) | exponent << 23);
      }
      F const r = sin(load<F>(arguments));
      for (unsigned j = 0; j < lanes; ++j)
        if (__builtin_bit_cast(std::uint32_t, r[j]) != __builtin_bit_cast(std::uint32_t, ::sinf(arguments[j])))
          state = 2;
    }
    known.store(state, std::memory_order_release);
  }
  return state == 1;
}
#endif

// fmodf of every lane: x - q y exactly, q = trunc(x / y), where |q| < 2^29
// and both are finite, y not zero; the C library's otherwise.
KVX_LANE F fmod(F x, F y) {
#if KVX_TARGET_IS(sse2)
  F r;
  for (unsigned j = 0; j < lanes; ++j) r[j] = ::fmodf(x[j], y[j]);
  return r;
#else
  auto half_fmod = [](H xh, H yh) {
    D const xd = to_double(xh), yd = to_double(yh);
    // trunc(x / y), rounded in double: at most one off, mended below.
    D const q = trunc(xd / yd);
    D r = fnma(q, yd, xd);  // exact: x, q y and their difference fit a double
    D const ay = abs_double(yd);
    // Below zero with a positive dividend (or the reverse): q was one too many.
    D const sign = copy_sign_double(splat_double(1.0), xd);
    r = select_double(r * sign < 0.0, r + ay * sign, r);
    r = select_double(abs_double(r) >= ay, r - ay * sign, r);
    return to_float(copy_sign_double(r, xd));
  };
  F const r = join(half_fmod(low(x), low(y)), half_fmod(high(x), high(y)));
  // Finite x, y not zero or infinite, and |x / y| below 2^29.
  I const by_library = ((as_bits(x) & 0x7fffffffu) >= 0x7f800000u) | ((as_bits(y) & 0x7fffffffu) >= 0x7f800000u) |
                       (y == 0.0f) | (clear_sign(x) >= clear_sign(y) * 536870912.0f);
  return scalar_lanes(r, by_library, [&](unsigned j) { return ::fmodf(x[j], y[j]); });
#endif
}

}  // namespace kvx::shaders::batch::KVX_BATCH_TARGET
