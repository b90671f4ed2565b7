// SPDX-License-Identifier: Apache-2.0
#include <editor/picture_budget.h>

#include <algorithm>

namespace kvx::editor {

Picture_budget::Share Picture_budget::take(std::size_t bytes, std::stop_token stop) {
  std::unique_lock hold(lock_);
  std::uint64_t const ticket = next_ticket_++;
  waiting_.push_back(ticket);
  bool const fits = freed_.wait(hold, stop, [&] { return waiting_.front() == ticket && taken_ + bytes <= bytes_; });
  waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
  freed_.notify_all();  // the next in line may fit now
  if (!fits) return nullptr;
  taken_ += bytes;
  return Share(this, [bytes](Picture_budget* budget) { budget->give_back(bytes); });
}

void Picture_budget::give_back(std::size_t bytes) {
  {
    std::lock_guard hold(lock_);
    taken_ -= bytes;
  }
  freed_.notify_all();
}

}  // namespace kvx::editor
