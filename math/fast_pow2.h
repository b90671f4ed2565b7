// Fast base-2 exponential: what every exp2 shader computes, inline, per
// component. Exported with its constant for hosts that link against it.
#pragma once

#include <emmintrin.h>

#include <plugin/export.h>

namespace kvx::math {

// 2^23, the factor that moves x + 127 into the exponent field.
inline constexpr float exp_c = 8388608.0f;

// fast_pow2 on four lanes at once, each lane exactly the scalar construction:
//   f = x - floor(x); a = x + 127; c = (f - f*f) * 0.33971; y = (a - c) * 2^23;
//   the result is the float whose bits are y truncated to a 32-bit integer.
// Every operation is one IEEE single rounding per lane, in that order. floor is
// exact without a library call: below 2^23 in magnitude, truncate and step down
// where that overshot, keeping x's sign (so -0.0 stays -0.0); from 2^23 up, and
// for NaN, x is its own floor. The final conversion yields 0x80000000 for a y
// out of the 32-bit range or NaN, the hardware's answer and the defined one.
[[gnu::always_inline]] inline __m128 fast_pow2_lanes(__m128 x, float exp_c) noexcept {
  __m128 const sign = _mm_set1_ps(-0.0f);
  __m128 const whole = _mm_cmplt_ps(_mm_andnot_ps(sign, x), _mm_set1_ps(8388608.0f));
  __m128 t = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
  t = _mm_sub_ps(t, _mm_and_ps(_mm_cmpgt_ps(t, x), _mm_set1_ps(1.0f)));
  t = _mm_or_ps(_mm_andnot_ps(sign, t), _mm_and_ps(sign, x));
  __m128 const floor = _mm_or_ps(_mm_and_ps(whole, t), _mm_andnot_ps(whole, x));
  __m128 const f = _mm_sub_ps(x, floor);
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
template <unsigned N>
[[gnu::always_inline]] inline void fast_pow2(float const* x, float* out) noexcept {
  static_assert(N >= 1 && N <= 4);
  alignas(16) float lanes[4] = {};
  for (unsigned i = 0; i < N; ++i) lanes[i] = x[i];
  _mm_store_ps(lanes, fast_pow2_lanes(_mm_load_ps(lanes), exp_c));
  for (unsigned i = 0; i < N; ++i) out[i] = lanes[i];
}

}  // namespace kvx::math
