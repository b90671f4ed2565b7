// Fast base-2 exponential: what every exp2 shader computes, inline, per
// component. Exported with its constant for hosts that link against it.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include <math/convert.h>
#include <math/floor.h>
#include <plugin/export.h>

namespace zr::math {

// 2^floor(x) * (1 + f - (f - f*f) * 0.33971) with f the fractional part of x:
// exact at integers, within about 0.27 % for x in [-126, 127]. The integer
// part lands in the exponent field and the corrected fraction in the mantissa.
// Outside [-127, 128) the construction is applied unclamped, as hosts expect;
// a y outside the 32-bit range yields the bits 0x80000000.
[[gnu::used]] KVX_EXPORT inline float fast_pow2(float x) noexcept {
  [[gnu::used]] static float const EXP_C = 8388608.0f;  // 2^23: one unit of exponent
  float const f = x - kvx::math::floor_exact(x);
  float const a = x + 127.0f;
  float const c = (f - f * f) * 0.33971f;
  float const y = (a - c) * EXP_C;
  return std::bit_cast<float>(kvx::math::truncate_to_int32(y));
}

}  // namespace zr::math
