// SPDX-License-Identifier: Apache-2.0
#include "heap_counter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool counting = false;
thread_local long allocated = 0;
thread_local long deallocated = 0;

void deallocate(void* p) noexcept {
  if (counting && p) ++deallocated;
  std::free(p);
}
}  // namespace

// Every form a plain new or delete may take, so that memory from one always
// goes back through the other (the standard library's temporary buffers use
// the nothrow forms).
void* operator new(std::size_t size) {
  if (counting) ++allocated;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::nothrow_t const&) noexcept {
  if (counting) ++allocated;
  return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { deallocate(p); }
void operator delete(void* p, std::size_t) noexcept { deallocate(p); }
void operator delete(void* p, std::nothrow_t const&) noexcept { deallocate(p); }

namespace kvx::test {

Heap_counter::Heap_counter() {
  allocated = deallocated = 0;
  counting = true;
}
Heap_counter::~Heap_counter() { counting = false; }
long Heap_counter::allocations() const { return allocated; }
long Heap_counter::deallocations() const { return deallocated; }

}  // namespace kvx::test
