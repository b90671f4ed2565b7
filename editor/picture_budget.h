// SPDX-License-Identifier: Apache-2.0
// The memory the pictures being shaded and sent may take at once. A request
// takes its picture's share before it shades and gives it back once its
// answer is gone; one that does not fit beside the others waits its turn,
// in the order the requests came.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>

namespace kvx::editor {

class Picture_budget {
 public:
  explicit Picture_budget(std::size_t bytes) : bytes_(bytes) {}

  std::size_t bytes() const { return bytes_; }

  // A share, given back when the last copy goes.
  using Share = std::shared_ptr<void>;

  // Waits until `bytes` (at most bytes()) fit; null when `stop` is requested first.
  Share take(std::size_t bytes, std::stop_token stop);

 private:
  void give_back(std::size_t bytes);

  std::size_t const bytes_;
  std::mutex lock_;
  std::condition_variable_any freed_;
  std::size_t taken_ = 0;
  std::uint64_t next_ticket_ = 0;
  std::deque<std::uint64_t> waiting_;  // first come, first served
};

}  // namespace kvx::editor
