// SPDX-License-Identifier: Apache-2.0
// Shader objects allocate exactly themselves at capture and nothing in main;
// a capture that fails frees what it allocated; a C call allocates nothing.
#include "heap_counter.h"
#include "support.h"

#include <host/requests.h>

namespace kvx::test {
namespace {

TEST(Allocation, CaptureAllocatesTheObjectAloneAndMainNothing) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    kvx::test::Recording_host host;
    kvx::test::Block inputs;
    for (auto const& p : r.parameters()) inputs.set(p.name, floats(1, 2, 3, 4));
    kvx::test::Block output;
    output.add_result();
    auto* plugin = new_plugin(r.name);
    ZR::SHADER::Shader* object;
    {
      Heap_counter heap;
      object = plugin->new_instance(nullptr, &inputs);
      EXPECT_EQ(heap.allocations(), 1);
    }
    {
      Heap_counter heap;
      object->main(host.state(), &output);
      EXPECT_EQ(heap.allocations(), 0);
    }
    {
      Heap_counter heap;
      object->release();
      EXPECT_EQ(heap.deallocations(), 1);
    }
    plugin->release();
  }
}

TEST(Allocation, ACaptureThatThrowsFreesTheObject) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    kvx::test::Recording_host host;
    kvx::test::Block inputs(&host);
    for (auto const& p : r.parameters()) inputs.set(p.name, floats(1, 2, 3, 4));
    auto* plugin = new_plugin(r.name);
    for (int nth = 1; nth <= 2 * int(r.parameter_count); ++nth) {
      host.fail_on(kvx::test::Call::lookup, nth);
      Heap_counter heap;
      EXPECT_THROW(plugin->new_instance(nullptr, &inputs), kvx::test::Host_failure);
      EXPECT_EQ(heap.allocations(), 1) << "lookup " << nth;
      EXPECT_EQ(heap.deallocations(), 1) << "lookup " << nth;
    }
    plugin->release();
  }
}

TEST(Allocation, CEntriesAllocateNothingInAnyMode) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    kvx::test::Recording_host host;
    C_block block;
    host.record().set_tag_offset(block.tag_offset());
    for (auto const& p : r.parameters()) block.set(p, floats(1, 2, 3, 4), tag_connected);
    host::Output_requests requests;
    catalogue::Value_bytes destinations[3];
    requests.named("result", 5, &destinations[0]).named("other", 2, &destinations[1]).by_id(6, 4, &destinations[2]);
    host.set_output_requests(requests.list());
    Entry* const entry = c_entry(r.name);
    for (std::uint32_t gathering : {0u, 1u})
      for (int ray_type : {0, 4, 5}) {
        host.set_gather_flag(gathering);
        host.record().set_ray_type(ray_type);
        Heap_counter heap;
        call_c(entry, host, block);
        EXPECT_EQ(heap.allocations(), 0) << "gathering " << gathering << ", ray type " << ray_type;
      }
  }
}

}  // namespace
}  // namespace kvx::test
