// SPDX-License-Identifier: Apache-2.0
// Fast base-2 exponential: what every exp2 shader computes, inline, per
// component. Exported with its constant for hosts that link against it.
#pragma once

#include <emmintrin.h>

#include <bridge/interface/export.h>

namespace kvx::math {

// 2^23, the factor that moves x + 127 into the exponent field.
inline constexpr float exp_c = 8388608.0f;

// fast_pow2 on four lanes at once, each lane exactly the scalar construction:
//   f = x - floor(x); a = x + 127; c = (f - f*f) * 0.33971; y = (a - c) * 2^23;
//   the result is the float whose bits are y truncated to a 32-bit integer.
// Every operation is one IEEE single rounding per lane, in that order. f needs
// no floor: with t the truncation of x, x - t is exact, and where it is
// negative x - floor(x) = x - (t - 1) is the single rounding of (x - t) + 1
// (for x = -0 f is -0, not +0; y is the same).
// For |x| >= 2^31 and NaN there is no truncation and f comes out wrong, but
// then y is out of the 32-bit range or NaN with either f, and the final
// conversion gives 0x80000000, the hardware's answer and the defined one. A
// test walks all 2^32 inputs against the definition.
[[gnu::always_inline]] inline __m128 fast_pow2_lanes(__m128 x, float exp_c) noexcept {
  __m128 f = _mm_sub_ps(x, _mm_cvtepi32_ps(_mm_cvttps_epi32(x)));
  f = _mm_add_ps(f, _mm_and_ps(_mm_cmplt_ps(f, _mm_setzero_ps()), _mm_set1_ps(1.0f)));
  __m128 const a = _mm_add_ps(x, _mm_set1_ps(127.0f));
  __m128 const c = _mm_mul_ps(_mm_sub_ps(f, _mm_mul_ps(f, f)), _mm_set1_ps(0.33971f));
  __m128 const y = _mm_mul_ps(_mm_sub_ps(a, c), _mm_set1_ps(exp_c));
  return _mm_castsi128_ps(_mm_cvttps_epi32(y));
}

}  // namespace kvx::math

namespace zr::math {

// 2^floor(x) * (1 + f - (f - f*f) * 0.33971): exact at integers, within about
// 0.27 % for x in [-126, 127]. Outside [-127, 128) the construction is applied
// unclamped, as hosts expect.
[[gnu::used]] KVX_EXPORT inline float fast_pow2(float x) noexcept {
  [[gnu::used]] static float const EXP_C = kvx::math::exp_c;
  return _mm_cvtss_f32(kvx::math::fast_pow2_lanes(_mm_set_ss(x), EXP_C));
}

}  // namespace zr::math

namespace kvx::math {

// fast_pow2 of up to four components at once; unused lanes compute zeros.
// The components go to and from the register directly: staging them in a
// 16-byte buffer would store them in pieces and load them whole, which the
// processor cannot forward from its store buffer (a stall longer than the
// computation).
template <unsigned N>
[[gnu::always_inline]] inline void fast_pow2(float const* x, float* out) noexcept {
  static_assert(N >= 1 && N <= 4);
  __m128 in;
  if constexpr (N == 1) in = _mm_set_ss(x[0]);
  if constexpr (N == 2) in = _mm_setr_ps(x[0], x[1], 0.0f, 0.0f);
  if constexpr (N == 3) in = _mm_setr_ps(x[0], x[1], x[2], 0.0f);
  if constexpr (N == 4) in = _mm_loadu_ps(x);
  __m128 const r = fast_pow2_lanes(in, exp_c);
  if constexpr (N == 4) {
    _mm_storeu_ps(out, r);
  } else {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, r);  // one whole store; the narrow loads below forward from it
    for (unsigned i = 0; i < N; ++i) out[i] = lanes[i];
  }
}

}  // namespace kvx::math
