// SPDX-License-Identifier: Apache-2.0
// <shader>_version, <shader>_init and <shader>_exit: one plug-in per shader,
// one shader object per instance, nothing leaked whatever the calling order.
#include <string>
#include <typeinfo>

#include <bridge/interface/interface.h>

#include "heap_counter.h"
#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

struct Instance_record {
  void* parameter_block;
  ZR::SHADER::Shader* shader;
};

struct Lifecycle {
  explicit Lifecycle(std::string_view shader)
      : version(library().function<int()>((std::string(shader) + "_version").c_str())),
        init(library().function<void(Host_state*, void*, std::int32_t*)>((std::string(shader) + "_init").c_str())),
        exit(library().function<void(Host_state*, void*)>((std::string(shader) + "_exit").c_str())) {}
  int (*version)();
  void (*init)(Host_state*, void*, std::int32_t*);
  void (*exit)(Host_state*, void*);
};

std::string object_type(std::string_view shader) {
  std::string name = "Kvx_" + std::string(shader);
  return "N2ZR6SHADER" + std::to_string(name.size()) + name + "E";
}

TEST(Lifecycle, EveryShaderRunsTheWholeCycleWithoutLeaking) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    Lifecycle c(r.name);
    ASSERT_TRUE(c.version && c.init && c.exit);
    EXPECT_EQ(c.version(), 4);
    std::string const expected_type = object_type(r.name);

    kvx::test::Recording_host host;
    std::uint64_t request = ~std::uint64_t{0};  // shows how many bytes init writes
    C_block block;
    long allocations = 0, deallocations = 0;
    auto counted = [&](auto&& call) {
      Heap_counter heap;
      call();
      allocations += heap.allocations();
      deallocations += heap.deallocations();
    };
    counted([&] { c.init(host.record().get(), nullptr, reinterpret_cast<std::int32_t*>(&request)); });
    EXPECT_EQ(request, std::uint64_t{0xFFFFFFFF00000001}) << "exactly the 32-bit value 1";
    EXPECT_TRUE(host.calls().empty());

    counted([&] { c.init(host.record().get(), block.params(), nullptr); });
    ASSERT_EQ(host.calls().size(), 1u);
    EXPECT_EQ(host.calls()[0].call, Call::query);
    EXPECT_EQ(host.calls()[0].id, QUERY_INSTANCE_SLOT);
    auto* record = static_cast<Instance_record*>(host.instance_slot());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->parameter_block, block.params());
    ASSERT_NE(record->shader, nullptr);
    EXPECT_EQ(typeid(*record->shader).name(), expected_type);

    counted([&] { c.exit(host.record().get(), block.params()); });
    EXPECT_EQ(host.instance_slot(), nullptr) << "no dangling record left in the host";
    counted([&] { c.exit(host.record().get(), nullptr); });
    EXPECT_EQ(allocations, 3) << "plug-in, record, shader object";
    EXPECT_EQ(deallocations, 3);
  }
}

TEST(Lifecycle, CallEntryDoesNotTouchTheInstanceObjects) {
  Lifecycle c("Math_float_add");
  kvx::test::Recording_host host;
  C_block block;
  std::int32_t request = 0;
  c.init(host.record().get(), nullptr, &request);
  c.init(host.record().get(), block.params(), &request);
  void* record = host.instance_slot();
  Heap_counter heap;
  call_c("Math_float_add", host, block);
  EXPECT_EQ(host.instance_slot(), record);
  EXPECT_EQ(heap.allocations(), 0);
  c.exit(host.record().get(), block.params());
  c.exit(host.record().get(), nullptr);
}

TEST(Lifecycle, ShaderLevelExitTwiceAndBeforeItsInstances) {
  mistakes_on_purpose();
  Lifecycle c("Math_color_lerp");
  kvx::test::Recording_host host;
  C_block first, second;
  std::int32_t request = 0;
  Heap_counter heap;
  c.init(host.record().get(), nullptr, &request);
  c.init(host.record().get(), first.params(), &request);
  void* first_record = host.instance_slot();
  c.init(host.record().get(), second.params(), &request);
  void* second_record = host.instance_slot();
  c.exit(host.record().get(), nullptr);
  c.exit(host.record().get(), nullptr);  // destroys nothing more
  host.instance_slot() = second_record;
  c.exit(host.record().get(), second.params());
  host.instance_slot() = first_record;
  c.exit(host.record().get(), first.params());
  EXPECT_EQ(heap.allocations(), heap.deallocations());
  EXPECT_EQ(heap.allocations(), 5);
}

TEST(Lifecycle, SecondShaderLevelInitReplacesThePluginWithoutLeaking) {
  mistakes_on_purpose();
  Lifecycle c("State_normal");
  kvx::test::Recording_host host;
  std::int32_t request = 0;
  Heap_counter heap;
  c.init(host.record().get(), nullptr, &request);
  c.init(host.record().get(), nullptr, nullptr);  // a host that makes no request
  c.exit(host.record().get(), nullptr);
  EXPECT_EQ(heap.allocations(), 2);
  EXPECT_EQ(heap.deallocations(), 2);
}

TEST(Lifecycle, InstanceCallsOutOfOrderDoNotCrash) {
  mistakes_on_purpose();
  Lifecycle c("Math_float3_normalize");
  kvx::test::Recording_host host;
  C_block block;
  Heap_counter heap;
  c.init(host.record().get(), block.params(), nullptr);  // before any shader-level init
  auto* record = static_cast<Instance_record*>(host.instance_slot());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->shader, nullptr) << "no plug-in yet, so no shader object";
  c.exit(host.record().get(), block.params());
  c.exit(host.record().get(), block.params());  // twice: the slot is already clear
  c.exit(host.record().get(), nullptr);          // shader-level exit without init
  EXPECT_EQ(heap.allocations(), heap.deallocations());
}

}  // namespace
}  // namespace kvx::test
