// SPDX-License-Identifier: Apache-2.0
#include <network/shading_thread.h>

#include <cstring>
#include <utility>

namespace kvx::network {

void Mismatches::record(Mismatch const& mismatch) {
  std::lock_guard hold(lock_);
  ++count_;
  if (mask_) mask_[std::size_t{mismatch.y} * width_ + mismatch.x] = 1;
  if (!first_ || std::pair(mismatch.y, mismatch.x) < std::pair(first_->y, first_->x)) first_ = mismatch;
}

// The C entries' value is kept in the thread's own copy: the second
// evaluation overwrites the network's results.
catalogue::Value_bytes const& Shading_thread::shade_both(Network::Node node, Mismatches& mismatches, unsigned x,
                                              unsigned y) {
  c_value_ = network_.evaluate(node, host_, Paths::c);
  network_.next_point();
  catalogue::Value_bytes const& other = network_.evaluate(node, host_, Paths::cpp);
  if (std::memcmp(c_value_.data(), other.data(), width(network_.result_type(node))) != 0)
    mismatches.record({x, y, Paths::c, Paths::cpp, c_value_, other, std::nullopt, {}});
  return c_value_;
}

}  // namespace kvx::network
