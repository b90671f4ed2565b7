// SPDX-License-Identifier: Apache-2.0
// A progress bar on stderr, drawn only on a terminal and only once the work
// has taken more than a second.
#pragma once

#include <chrono>

namespace kvx::commands {

class Progress_bar {
 public:
  Progress_bar() = default;
  Progress_bar(Progress_bar const&) = delete;
  Progress_bar& operator=(Progress_bar const&) = delete;
  ~Progress_bar();  // ends the bar's line, if one was drawn

  void operator()(unsigned done, unsigned total);

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool drawn_ = false;
};

}  // namespace kvx::commands
