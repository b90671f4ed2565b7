// SPDX-License-Identifier: Apache-2.0
// Counts the global allocations and deallocations made on this thread while a
// Heap_counter lives: the test binary replaces operator new and delete.
#pragma once

namespace kvx::test {

class Heap_counter {
 public:
  Heap_counter();
  ~Heap_counter();
  Heap_counter(Heap_counter const&) = delete;
  Heap_counter& operator=(Heap_counter const&) = delete;
  long allocations() const;
  long deallocations() const;
};

}  // namespace kvx::test
