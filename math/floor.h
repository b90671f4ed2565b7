// floorf without the library call, for fast_pow2: exact for every input, the
// same value and sign of zero as floorf. A NaN comes back as it went in, where
// floorf would quiet a signalling one; fast_pow2 turns every NaN into the same
// result either way.
#pragma once

#include <cmath>
#include <cstdint>

namespace kvx::math {

[[gnu::always_inline]] inline float floor_exact(float x) noexcept {
  if (!(std::fabs(x) < 8388608.0f)) return x;  // 2^23 and up are whole; NaN
  float t = static_cast<float>(static_cast<std::int32_t>(x));  // toward zero, in range
  if (t > x) t -= 1.0f;
  return std::copysign(t, x);  // keeps -0.0, and -0.5 floors to -1, not -0
}

}  // namespace kvx::math
