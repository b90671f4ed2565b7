#include <network/shading_thread.h>

#include <cstring>
#include <utility>

namespace kvx::host {

void First_mismatch::record(Mismatch const& mismatch) {
  std::lock_guard hold(lock_);
  if (!first_ || std::pair(mismatch.y, mismatch.x) < std::pair(first_->y, first_->x)) first_ = mismatch;
}

Value_bytes Shading_thread::shade(Network::Node node, Paths paths, First_mismatch& mismatches, unsigned x,
                                  unsigned y) {
  network_.next_point();
  Value_bytes const value = network_.evaluate(node, host_, paths == Paths::cpp ? Paths::cpp : Paths::c);
  if (paths == Paths::both) {
    network_.next_point();
    Value_bytes const& other = network_.evaluate(node, host_, Paths::cpp);
    if (std::memcmp(value.data(), other.data(), width(network_.result_type(node))) != 0)
      mismatches.record({x, y, value, other});
  }
  return value;
}

}  // namespace kvx::host
