// SPDX-License-Identifier: Apache-2.0
#include <network/parallel_rows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kvx::network {

void for_rows(unsigned count, unsigned threads, std::function<Row_worker()> const& make_worker,
              Progress const& progress, std::stop_token cancel) {
  threads = std::clamp(threads, 1u, std::max(count, 1u));
  std::atomic<unsigned> next{0}, done{0};
  std::atomic<bool> stop{false};
  std::vector<std::exception_ptr> failures(threads);
  // Wakes the caller when the last thread ends; taken once per thread.
  std::mutex lock;
  std::condition_variable ended;
  unsigned running = threads;

  auto run = [&](unsigned t) {
    // An exception cannot leave a thread: it is carried to the caller.
    try {
      Row_worker const row = make_worker();
      for (unsigned y; !stop && !cancel.stop_requested() && (y = next++) < count; ++done) row(y);
    } catch (...) {
      failures[t] = std::current_exception();
      stop = true;
    }
    std::lock_guard hold(lock);
    if (--running == 0) ended.notify_one();
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(run, t);
  {
    std::unique_lock wait(lock);
    while (!ended.wait_for(wait, std::chrono::milliseconds(100), [&] { return running == 0; }))
      if (progress) progress(std::min(done.load(), count), count);
  }
  for (auto& thread : pool) thread.join();
  for (auto const& failure : failures)
    if (failure) std::rethrow_exception(failure);
  if (progress) progress(count, count);
}

}  // namespace kvx::network
