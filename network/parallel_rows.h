// SPDX-License-Identifier: Apache-2.0
// Work over the rows of an image, spread across threads. Every thread makes
// its own worker (its own host, its own copy of a network: nothing mutable is
// shared and nothing is locked while shading), then takes rows one at a time
// until none are left. Each row is computed whole by one thread, so what a row
// holds does not depend on the number of threads.
#pragma once

#include <functional>
#include <stop_token>

namespace kvx::network {

// Rows done so far, and how many there are.
using Progress = std::function<void(unsigned done, unsigned total)>;

// Shades one row; made once per thread, on that thread, and destroyed there.
using Row_worker = std::function<void(unsigned row)>;

// Runs rows 0..count-1 on `threads` threads. While they work, the calling
// thread reports progress about ten times a second, and once at the end. An
// exception from a worker stops the others at their next row and is rethrown
// here once every thread has ended. A stop requested through `stop` ends the
// work at the next row, the rows not yet begun left undone.
void for_rows(unsigned count, unsigned threads, std::function<Row_worker()> const& make_worker,
              Progress const& progress = {}, std::stop_token stop = {});

}  // namespace kvx::network
