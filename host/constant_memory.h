// SPDX-License-Identifier: Apache-2.0
// The read-only segments of a loaded shared object: whatever lies there holds
// the same bytes for as long as the object stays loaded. A data block asked
// for a name that lies there (the library's own constant strings) may know
// it by its address from then on; a name anywhere else may change under the
// same address, and is read afresh.
#pragma once

#include <array>
#include <cstdint>

namespace kvx::host {

class Constant_memory {
 public:
  Constant_memory() = default;  // holds nothing
  // The segments of the object mapped at `inside` (any address in it).
  static Constant_memory of(void const* inside);

  bool holds(void const* address) const {
    auto const at = reinterpret_cast<std::uintptr_t>(address);
    for (unsigned i = 0; i < count_; ++i)
      if (at >= ranges_[i].begin && at < ranges_[i].end) return true;
    return false;
  }

 private:
  struct Range {
    std::uintptr_t begin, end;
  };
  std::array<Range, 4> ranges_{};
  unsigned count_ = 0;
};

}  // namespace kvx::host
