// SPDX-License-Identifier: Apache-2.0
// What a host can hand the library beyond the protocol's promises, answered
// soundly: missing records, missing answers, missing blocks.
#include <bridge/interface/host_state.h>

#include "heap_counter.h"
#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

TEST(Robustness, WithoutAParameterBlockEveryParameterTakesItsDefault) {
  mistakes_on_purpose();
  kvx::test::Recording_host host;
  host.record().set_tag_offset(64);
  std::array<std::uint8_t, 32> result{};
  EXPECT_EQ(c_entry("Math_float_multiply")(result.data(), host.record().get(), nullptr), 1);
  float value;
  std::memcpy(&value, result.data(), 4);
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(c_entry("State_normal")(result.data(), host.record().get(), nullptr), 1) << "no normal to override";
}

TEST(Robustness, WithoutEvaluationSettingsNothingIsTagged) {
  kvx::test::Recording_host host;
  C_block block;
  auto const& r = row("Math_float_add");
  block.set(r.parameter_list[0], floats(2));
  block.set(r.parameter_list[1], floats(3));
  bridge::record_field::write(host.record().get(), bridge::record_field::eval_settings, static_cast<void*>(nullptr));
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {0.0f})) << "both take their declared default";
  EXPECT_EQ(host.count(Call::phen_eval), 0u);
}

// A shader without parameters never reads the evaluation settings, in the
// checked build too: a host may leave the pointer to them as garbage.
TEST(Robustness, ShadersWithoutParametersNeverReadTheEvaluationSettings) {
  kvx::test::Recording_host host;
  auto* const garbage = reinterpret_cast<void*>(std::uintptr_t{0x10});
  bridge::record_field::write(host.record().get(), bridge::record_field::eval_settings, garbage);
  alignas(16) std::array<std::uint8_t, 16> result{};
  for (auto const& r : catalogue::shaders) {
    if (r.parameter_count != 0) continue;
    EXPECT_EQ(c_entry(r.name)(result.data(), host.record().get(), nullptr), 1) << r.name;
  }
}

TEST(Robustness, AConnectionTheHostCannotEvaluateCountsAsUnset) {
  kvx::test::Recording_host host;
  C_block block;
  host.record().set_tag_offset(block.tag_offset());
  host.record().set_integer_tags(1);
  host.set_evaluation_fails(true);
  auto const& r = row("Math_color_multiply");
  block.set(r.parameter_list[0], floats(2, 2, 2, 2), tag_connected);
  block.set(r.parameter_list[1], floats(3, 3, 3, 3));
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {3, 3, 3, 3})) << "left is its default (1, 1, 1, 1)";
  auto const& i = row("Math_int_add");
  block.set(i.parameter_list[0], ints(5), tag_connected);
  block.set(i.parameter_list[1], ints(7));
  EXPECT_EQ(int_at(call_c(i.name, host, block).value()), 7) << "an integer without a value is 0";
}

// For every shader alike: no block, a block of unset parameters, and a block
// whose every parameter is a connection the host cannot evaluate give the
// same result, the declared defaults' (scalar integers 0).
TEST(Robustness, EveryEntryTreatsMissingValuesAsUnset) {
  mistakes_on_purpose();
  for (auto const& r : catalogue::shaders) {
    kvx::test::Recording_host host;
    C_block unset;
    host.record().set_tag_offset(unset.tag_offset());
    C_result const expected = call_c(r.name, host, unset);

    std::array<std::uint8_t, 32> area;
    area.fill(canary);
    EXPECT_EQ(c_entry(r.name)(area.data(), host.record().get(), nullptr), 1) << r.name;
    EXPECT_EQ(area, expected.area) << r.name << ": no parameter block";

    C_block failing;
    for (auto const& p : r.parameters()) failing.set(p, floats(7, 7, 7, 7), tag_connected);
    failing.set_tag_at(0, tag_connected);  // the normal override's float3
    host.record().set_integer_tags(1);
    host.set_evaluation_fails(true);
    C_result const unevaluated = call_c(r.name, host, failing);
    EXPECT_EQ(unevaluated.area, expected.area) << r.name << ": connections without a value";
  }
}

// Finds a name once, then no longer.
class Forgetful_block final : public ZR::SHADER::Data_block {
 public:
  void* lookup(char const*) override { return calls_++ == 0 ? value_.data() : nullptr; }
  int notify_output(char const*) override { return 0; }

 private:
  catalogue::Value_bytes value_ = floats(9);
  int calls_ = 0;
};

TEST(Robustness, ASecondLookupThatFindsNothingLeavesTheFieldZero) {
  mistakes_on_purpose();
  Forgetful_block block;
  auto* plugin = new_plugin("Math_float_abs");
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &block);
  EXPECT_EQ(reinterpret_cast<float const*>(reinterpret_cast<unsigned char const*>(object) + 8)[0], 0.0f);
  object->main(nullptr, nullptr);  // no data block: nothing to look up, nothing stored
  object->release();
  plugin->release();
}

TEST(Robustness, InstanceInitWithoutASlotRecordsNothingAndLeaksNothing) {
  mistakes_on_purpose();
  kvx::test::Recording_host host;
  host.set_instance_slot_available(false);
  C_block block;
  auto* init = library().function<void(Host_state*, void*, std::int32_t*)>("Math_float_add_init");
  auto* exit = library().function<void(Host_state*, void*)>("Math_float_add_exit");
  std::int32_t request = 0;
  Heap_counter heap;
  init(host.record().get(), nullptr, &request);
  init(host.record().get(), block.params(), &request);
  exit(host.record().get(), block.params());
  exit(host.record().get(), nullptr);
  EXPECT_EQ(heap.allocations(), 1) << "the plug-in only";
  EXPECT_EQ(heap.deallocations(), 1);
}

}  // namespace
}  // namespace kvx::test
