// Shader objects allocate exactly themselves at capture and nothing in main;
// a capture that fails frees what it allocated.
#include <cstdlib>
#include <new>

#include "support.h"

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
thread_local long deallocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
namespace {
void deallocate(void* p) noexcept {
  if (counting && p) ++deallocations;
  std::free(p);
}
}  // namespace
void operator delete(void* p) noexcept { deallocate(p); }
void operator delete(void* p, std::size_t) noexcept { deallocate(p); }

namespace kvx::test {
namespace {

struct Count {
  Count() { allocations = deallocations = 0; counting = true; }
  ~Count() { counting = false; }
};

TEST(Allocation, CaptureAllocatesTheObjectAloneAndMainNothing) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    host::Host host;
    host::Block inputs;
    for (auto const& p : r.parameters()) inputs.set(p.name, floats(1, 2, 3, 4));
    host::Block output;
    output.add_result();
    auto* plugin = new_plugin(r.name);
    ZR::SHADER::Shader* object;
    {
      Count count;
      object = plugin->new_instance(nullptr, &inputs);
      EXPECT_EQ(allocations, 1);
    }
    {
      Count count;
      object->main(host.state(), &output);
      EXPECT_EQ(allocations, 0);
    }
    {
      Count count;
      object->release();
      EXPECT_EQ(deallocations, 1);
    }
    plugin->release();
  }
}

TEST(Allocation, ACaptureThatThrowsFreesTheObject) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    host::Host host;
    host::Block inputs(&host);
    for (auto const& p : r.parameters()) inputs.set(p.name, floats(1, 2, 3, 4));
    auto* plugin = new_plugin(r.name);
    for (int nth = 1; nth <= 2 * int(r.parameter_count); ++nth) {
      host.fail_on(host::Call::lookup, nth);
      Count count;
      EXPECT_THROW(plugin->new_instance(nullptr, &inputs), host::Host_failure);
      EXPECT_EQ(allocations, 1) << "lookup " << nth;
      EXPECT_EQ(deallocations, 1) << "lookup " << nth;
    }
    plugin->release();
  }
}

}  // namespace
}  // namespace kvx::test
