// SPDX-License-Identifier: Apache-2.0
// The guarded square root: the processor's IEEE square root, and the C
// library's sqrtf only when that root is NaN (negative or NaN input), so the
// C library sees exactly the calls it would see from a plain sqrtf.
#pragma once

#include <cmath>
#include <xmmintrin.h>

namespace kvx::math {

[[gnu::always_inline]] inline float guarded_sqrt(float s) noexcept {
  float r = _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(s)));
  if (r != r) r = ::sqrtf(s);
  return r;
}

}  // namespace kvx::math
