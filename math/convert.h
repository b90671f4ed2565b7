// SPDX-License-Identifier: Apache-2.0
// Float-to-integer conversions without undefined behaviour.
#pragma once

#include <cstdint>
#include <limits>

namespace kvx::math {

inline constexpr std::int32_t int32_out_of_range = std::numeric_limits<std::int32_t>::min();

// Truncation toward zero; NaN, infinities and values outside the 32-bit range
// give -2147483648 (the x86 conversion's answer, made well defined).
template <class F>
constexpr std::int32_t truncate_to_int32(F value) noexcept {
  if (value >= F(-2147483648.0) && value < F(2147483648.0)) return static_cast<std::int32_t>(value);
  return int32_out_of_range;
}

}  // namespace kvx::math
