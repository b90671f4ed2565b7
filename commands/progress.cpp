// SPDX-License-Identifier: Apache-2.0
#include "progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace kvx::commands {

void Progress_bar::operator()(unsigned done, unsigned total) {
  if (!total || !isatty(STDERR_FILENO)) return;
  if (!drawn_ && std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
  constexpr int bar = 40;
  int const filled = int(std::lround(double(done) / total * bar));
  std::fprintf(stderr, "\r[%.*s%*s] %3u%%", filled, "########################################", bar - filled, "",
               unsigned(100.0 * done / total));
  drawn_ = true;
}

Progress_bar::~Progress_bar() {
  if (drawn_) std::fputc('\n', stderr);
}

}  // namespace kvx::commands
