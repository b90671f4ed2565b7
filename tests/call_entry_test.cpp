// SPDX-License-Identifier: Apache-2.0
// The C call entry: protocol, parameter conventions, delivery in both modes,
// the shadow record and the normal override.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <host/requests.h>

#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

std::vector<Call> kinds(kvx::test::Recording_host const& host) {
  std::vector<Call> made;
  for (auto const& c : host.calls()) made.push_back(c.call);
  return made;
}

// Every parameter connected, so every value goes through zr_phen_eval.
void connect_all(catalogue::Shader const& r, kvx::test::Recording_host& host, C_block& block) {
  for (auto const& p : r.parameters()) {
    block.set(p, catalogue::Value_bytes{}, tag_connected);
    host.connect(block.slot(p), floats(1, 2, 3, 4));
  }
}

class Every_entry : public ::testing::TestWithParam<unsigned> {
 protected:
  catalogue::Shader const& r = catalogue::shaders[GetParam()];
  kvx::test::Recording_host host;
  C_block block;
};

TEST_P(Every_entry, NullResultReturnsOneWithoutAnyHostCall) {
  EXPECT_EQ(c_entry(r.name)(nullptr, host.record().get(), block.params()), 1);
  EXPECT_TRUE(host.calls().empty());
}

TEST_P(Every_entry, GatheringSkipOnRayTypeFiveZeroesSixteenBytesAndStops) {
  host.set_gather_flag(1);
  host.record().set_ray_type(5);
  host.record().set_normal({7, 8, 9});
  C_result out = call_c(r.name, host, block);
  EXPECT_EQ(out.returned, 0);
  EXPECT_EQ(out.written(), 16u);
  for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(out.area[i], 0);
  ASSERT_EQ(host.calls().size(), 1u);
  EXPECT_EQ(host.calls()[0].id, QUERY_GATHER_FLAG);
  EXPECT_EQ(host.record().normal().z, 9.0f);
}

TEST_P(Every_entry, ProtocolOrderFromQueriesToRelease) {
  host.record().set_tag_offset(block.tag_offset());
  host.record().set_integer_tags(1);
  connect_all(r, host, block);
  C_result out = call_c(r.name, host, block);
  EXPECT_EQ(out.returned, 1);

  auto made = kinds(host);
  std::vector<Call> opening = {Call::query, Call::query, Call::get_interface, Call::get_state,
                               Call::interface_release};
  if (r.parameter_count) opening.push_back(Call::host_state);
  for (unsigned k = 0; k < r.parameter_count; ++k) opening.push_back(Call::phen_eval);
  ASSERT_GE(made.size(), opening.size());
  EXPECT_EQ(std::vector<Call>(made.begin(), made.begin() + opening.size()), opening);
  EXPECT_EQ(host.calls()[0].id, QUERY_GATHER_FLAG);
  EXPECT_EQ(host.calls()[1].id, QUERY_INSTANCE_SLOT);
  EXPECT_EQ(host.calls()[3].address, host.record().get()) << "get_state takes the entry's own record";
  for (unsigned k = 0; k < r.parameter_count; ++k)
    EXPECT_EQ(host.calls()[opening.size() - r.parameter_count + k].address, block.slot(r.parameter_list[k]))
        << "parameters evaluate in declaration order";
  EXPECT_EQ(made.back(), Call::state_release);
  EXPECT_EQ(host.count(Call::state_release), 1u);
  EXPECT_EQ(host.count(Call::get_interface), 1u);
}

TEST_P(Every_entry, PlainModeWritesTheSlotSizeAndGatheringModeSixteen) {
  host.record().set_tag_offset(block.tag_offset());
  for (auto const& p : r.parameters()) block.set(p, floats(1, 2, 3, 4));
  EXPECT_EQ(call_c(r.name, host, block).written(), slot_size(r.result)) << "plain";
  host.record().set_ray_type(5);  // not looked at in plain mode
  EXPECT_EQ(call_c(r.name, host, block).written(), slot_size(r.result)) << "plain, ray type 5";
  host.set_gather_flag(1);
  for (int ray_type : {0, 1, 4}) {
    host.record().set_ray_type(ray_type);
    C_result out = call_c(r.name, host, block);
    EXPECT_EQ(out.returned, 1);
    EXPECT_EQ(out.written(), 16u) << "gathering, ray type " << ray_type;
  }
}

TEST_P(Every_entry, ShadowRaysStoreARecordForFourFloatResultsOnly) {
  host.record().set_tag_offset(block.tag_offset());
  for (auto const& p : r.parameters()) block.set(p, floats(1, 2, 3, 4));
  host.set_gather_flag(1);
  host.record().set_ray_type(4);
  host.record().set_shadow_context(0xC0FFEE);
  host.set_shadow_weight({0.5f, 0.25f, 2.0f, 0.0f});
  host::Output_requests requests;
  host.set_output_requests(requests.list());
  C_result out = call_c(r.name, host, block);
  EXPECT_EQ(host.count(Call::output_requests), 0u) << "no gathering on shadow rays";

  bool const four_floats = r.result == catalogue::Type::float4 || r.result == catalogue::Type::color;
  EXPECT_EQ(host.count(Call::shaderstate_set), four_floats ? 1u : 0u);
  EXPECT_EQ(host.count(Call::shadow_weight), four_floats ? 1u : 0u);
  if (!four_floats) return;
  auto const stored_record = host.shader_state("kvx:shadow");
  ASSERT_TRUE(stored_record);
  auto const& stored = *stored_record;
  ASSERT_EQ(stored.size(), 36u);
  auto const& call = host.calls()[host.calls().size() - 2];
  EXPECT_EQ(call.call, Call::shaderstate_set);
  EXPECT_EQ(call.id, 2) << "mode";
  EXPECT_EQ(call.address, host.record().get());
  catalogue::Value_bytes value{}, weight{};
  std::memcpy(value.data(), stored.data(), 16);
  std::memcpy(weight.data(), stored.data() + 16, 16);
  EXPECT_TRUE(same_floats(weight, {0.5f, 0.25f, 2.0f, 0.0f}));
  std::uint32_t context;
  std::memcpy(&context, stored.data() + 32, 4);
  EXPECT_EQ(context, 0xC0FFEEu);
  EXPECT_TRUE(same_floats(out.value(), {float_at(value, 0) * 0.5f, float_at(value, 1) * 0.25f,
                                        float_at(value, 2) * 2.0f, float_at(value, 3) * 0.0f}));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, Every_entry, ::testing::Range(0u, catalogue::shader_count), shader_test_name);

// The shadow delivery above is the catalogue's 84 four-float shaders'.
static_assert(std::ranges::count_if(catalogue::shaders, [](catalogue::Shader const& r) {
                return r.result == catalogue::Type::float4 || r.result == catalogue::Type::color;
              }) == 84);

TEST(Call_entry, UnsetParametersTakeTheirDeclaredDefaults) {
  struct Case {
    char const* shader;
    catalogue::Value_bytes expected;
  };
  Case const cases[] = {
      {"Math_float_add", floats(0)},
      {"Math_float_multiply", floats(1)},
      {"Math_color_add", floats(0, 0, 0, 2)},
      {"Math_color_multiply", floats(1, 1, 1, 1)},
      {"Math_color_length", floats(1)},
      {"Math_color_ddx", floats(0, 0, 0, 1)},
      {"Math_float3_pow", floats(0, 0, 0)},
      {"Math_int3_divide", ints(1, 1, 1)},
  };
  for (auto const& c : cases) {
    for (std::int32_t tag_offset : {0, 64}) {  // no tags at all, or tags of 0
      kvx::test::Recording_host host;
      C_block block(tag_offset ? tag_offset : 64);
      host.record().set_tag_offset(tag_offset);
      for (auto const& p : row(c.shader).parameters()) block.set(p, floats(9, 9, 9, 9), bridge::tag_unset);
      EXPECT_TRUE(same_bytes(call_c(c.shader, host, block).value(), c.expected, width(row(c.shader).result)))
          << c.shader << ", tag offset " << tag_offset;
      EXPECT_EQ(host.count(Call::phen_eval), 0u);
    }
  }
}

TEST(Call_entry, ConditionalDefaultsAndBothBranchesEvaluated) {
  kvx::test::Recording_host host;
  C_block block;
  host.record().set_tag_offset(block.tag_offset());
  auto const& r = row("Math_float_conditional");
  block.set(r.parameter_list[0], bools({1}));
  block.set(r.parameter_list[1], floats(5), bridge::tag_unset);
  block.set(r.parameter_list[2], floats(6), bridge::tag_unset);
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {1.0f})) << "unset true_value is 1";

  block.set_tag(r.parameter_list[1], tag_connected);
  block.set_tag(r.parameter_list[2], tag_connected);
  host.connect(block.slot(r.parameter_list[1]), floats(7));
  host.connect(block.slot(r.parameter_list[2]), floats(8));
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {7.0f}));
  EXPECT_EQ(host.count(Call::phen_eval), 2u) << "the branch not taken is evaluated too";
}

TEST(Call_entry, GeneralConventionReadsTagsThroughTheEvaluationRecord) {
  kvx::test::Recording_host host;
  host.separate_evaluation_record();
  C_block block;
  host.evaluation_record().set_tag_offset(block.tag_offset());  // the entry's own record has none
  auto const& r = row("Math_float_subtract");
  block.set(r.parameter_list[0], floats(10), bridge::tag_constant);
  block.set(r.parameter_list[1], floats(1), tag_connected);
  host.connect(block.slot(r.parameter_list[1]), floats(4));
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {6.0f}));
  ASSERT_EQ(host.count(Call::phen_eval), 1u);
  for (auto const& c : host.calls()) {
    if (c.call == Call::phen_eval) {
      EXPECT_EQ(c.address, block.slot(r.parameter_list[1]));
    }
  }
}

// zr_phen_eval may evaluate the connected node by calling its entry, with the
// same record: the outer call holds nothing in the record that the inner one
// disturbs, and each releases its own State.
TEST(Call_entry, AConnectionMayBeEvaluatedByAnotherEntryOnTheSameRecord) {
  kvx::test::Recording_host host;
  C_block outer, inner;
  host.record().set_tag_offset(outer.tag_offset());
  auto const& sine = row("Math_float_sin");
  auto const& multiply = row("Math_float_multiply");
  outer.set(sine.parameter_list[0], catalogue::Value_bytes{}, tag_connected);
  inner.set(multiply.parameter_list[0], floats(1.5f));
  inner.set(multiply.parameter_list[1], floats(2.0f));
  bool nested = false;
  host.on_call([&](Call_record const& call) {
    if (call.call != Call::phen_eval || std::exchange(nested, true)) return;
    float product = 0;
    ASSERT_EQ(c_entry("Math_float_multiply")(&product, host.record().get(), inner.params()), 1);
    host.connect(call.address, floats(product));
  });
  EXPECT_BITS(float_at(call_c(sine.name, host, outer).value()), std::sin(3.0f));
  host.on_call(nullptr);
  EXPECT_EQ(host.count(Call::get_state), 2u);
  EXPECT_EQ(host.count(Call::state_release), 2u);
  EXPECT_EQ(kinds(host).back(), Call::state_release);
}

TEST(Call_entry, NegativeTagOffsetsReachBeforeTheSlot) {
  kvx::test::Recording_host host;
  C_block block(-48);
  host.record().set_tag_offset(-48);
  auto const& r = row("Math_float2_add");
  block.set(r.parameter_list[0], floats(1, 2), bridge::tag_constant);
  block.set(r.parameter_list[1], floats(3, 4), bridge::tag_constant);
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {4, 6}));
}

TEST(Call_entry, ScalarIntegersReadTagsOnlyWhenIntegerTagsIsOne) {
  mistakes_on_purpose();
  auto const& r = row("Math_int_add");
  for (std::uint8_t integer_tags : {0, 2, 255}) {
    kvx::test::Recording_host host;
    C_block block;
    host.record().set_tag_offset(0);  // no default for integers, even untagged
    host.record().set_integer_tags(integer_tags);
    block.set(r.parameter_list[0], ints(40), tag_connected);
    block.set(r.parameter_list[1], ints(2), bridge::tag_unset);
    host.connect(block.slot(r.parameter_list[0]), ints(1000));
    EXPECT_EQ(int_at(call_c(r.name, host, block).value()), 42);
    EXPECT_EQ(host.count(Call::phen_eval), 0u);
  }
  kvx::test::Recording_host host;
  C_block block;
  host.record().set_tag_offset(block.tag_offset());
  host.record().set_integer_tags(1);
  block.set(r.parameter_list[0], ints(40), tag_connected);
  block.set(r.parameter_list[1], ints(2), bridge::tag_unset);  // tag 0 reads the slot, not a default
  host.connect(block.slot(r.parameter_list[0]), ints(1000));
  EXPECT_EQ(int_at(call_c(r.name, host, block).value()), 1002);
  EXPECT_EQ(host.count(Call::phen_eval), 1u);
}

TEST(Call_entry, BoolParametersReadByteZeroOfTheirSlot) {
  kvx::test::Recording_host host;
  C_block block;
  auto const& r = row("Math_bool_and");
  block.set(r.parameter_list[0], bools({0, 1, 1, 1}));
  block.set(r.parameter_list[1], bools({1}));
  EXPECT_EQ(call_c(r.name, host, block).value()[0], 0) << "bytes 1 to 3 of a bool slot are ignored";
}

TEST(Call_entry, TextureLookupWithoutCoordinateLooksUpZero) {
  kvx::test::Recording_host host;
  C_block block;
  host.record().set_tag_offset(block.tag_offset());
  auto const& r = row("Math_color_tex3d");
  block.set(r.parameter_list[0], ints(3));
  block.set(r.parameter_list[1], floats(5, 5, 5), bridge::tag_unset);
  std::vector<float> seen;
  host.set_texture(3, [&](host::Lookup, float const* c) {
    seen.assign(c, c + 3);
    return ZR::SHADER::Color{1, 2, 3, 4};
  });
  EXPECT_TRUE(same_floats(call_c(r.name, host, block).value(), {1, 2, 3, 4}));
  EXPECT_EQ(seen, (std::vector<float>{0, 0, 0}));
}

TEST(Call_entry, NormalOverrideIsInPlaceWhileTheStateIsReadAndUndoneAfter) {
  for (char const* shader : {"State_normal", "State_dot_nd"}) {
    for (std::uint32_t tag : {bridge::tag_constant, tag_connected, bridge::tag_unset}) {
      SCOPED_TRACE(std::string(shader) + " tag " + std::to_string(tag));
      kvx::test::Recording_host host;
      C_block block;
      host.record().set_tag_offset(block.tag_offset());
      host.record().set_normal({0, 0, 1});
      std::memcpy(block.params(), floats(0.6f, 0.8f, 0).data(), 12);
      block.set_tag_at(0, tag);  // the normal sits at the start of the block
      host.connect(block.params(), floats(0, -1, 0));
      ZR::SHADER::Vector3 seen{};
      host.on_call([&](kvx::test::Call_record const& c) {
        if (c.call == Call::state_float3 || c.call == Call::state_float) seen = host.record().normal();
      });
      call_c(shader, host, block);
      ZR::SHADER::Vector3 const expected = tag == bridge::tag_constant    ? ZR::SHADER::Vector3{0.6f, 0.8f, 0}
                                           : tag == tag_connected ? ZR::SHADER::Vector3{0, -1, 0}
                                                                  : ZR::SHADER::Vector3{0, 0, 1};
      EXPECT_EQ(seen.x, expected.x);
      EXPECT_EQ(seen.y, expected.y);
      EXPECT_EQ(seen.z, expected.z);
      EXPECT_EQ(host.record().normal().z, 1.0f) << "restored";
      EXPECT_EQ(host.record().normal().y, 0.0f) << "restored";
      EXPECT_EQ(host.count(Call::phen_eval), tag == tag_connected ? 1u : 0u);
      EXPECT_EQ(host.count(Call::host_state), 0u) << "no parameters to evaluate";
    }
  }
}

}  // namespace
}  // namespace kvx::test
