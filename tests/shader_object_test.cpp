// SPDX-License-Identifier: Apache-2.0
// Capture and main, as every shader object does them: table-driven over the
// whole catalogue.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <host/laid_out_blocks.h>

#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

// Where a shader object keeps its fields: after the vtable pointer, in
// parameter order, each at its own width and its component's alignment.
std::vector<unsigned> field_offsets(catalogue::Shader const& r) {
  std::vector<unsigned> offsets;
  unsigned at = sizeof(void*);
  for (auto const& p : r.parameters()) {
    unsigned align = component_size(p.type);
    at = (at + align - 1) / align * align;
    offsets.push_back(at);
    at += width(p.type);
  }
  return offsets;
}

catalogue::Value_bytes pattern(unsigned parameter) {
  catalogue::Value_bytes b;
  for (unsigned i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0x10 * (parameter + 1) + i + 1);
  return b;
}

struct Plugin_deleter {
  void operator()(ZR::PLUG::Plugin* p) const { p->release(); }
};
using Plugin_ptr = std::unique_ptr<ZR::SHADER::Software_shader_plugin, Plugin_deleter>;

class Every_shader : public ::testing::TestWithParam<unsigned> {
 protected:
  catalogue::Shader const& r = catalogue::shaders[GetParam()];
  Plugin_ptr plugin{static_cast<ZR::SHADER::Software_shader_plugin*>(library().plugin(GetParam()))};
  kvx::test::Recording_host host;

  std::uint8_t const* bytes_of(ZR::SHADER::Shader* object) { return reinterpret_cast<std::uint8_t const*>(object); }
};

TEST_P(Every_shader, CapturesEachParameterWithTwoLookupsInOrderAtItsWidth) {
  kvx::test::Block block(&host);
  for (unsigned k = 0; k < r.parameter_count; ++k) block.set(r.parameter_list[k].name, pattern(k));
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &block);

  ASSERT_EQ(host.calls().size(), 2 * r.parameter_count);
  for (unsigned k = 0; k < r.parameter_count; ++k)
    for (unsigned twice = 0; twice < 2; ++twice) {
      auto const& call = host.calls()[2 * k + twice];
      EXPECT_EQ(call.call, Call::lookup);
      EXPECT_EQ(call.name_view(), r.parameter_list[k].name);
    }
  auto offsets = field_offsets(r);
  for (unsigned k = 0; k < r.parameter_count; ++k) {
    catalogue::Value_bytes field{};
    std::memcpy(field.data(), bytes_of(object) + offsets[k], width(r.parameter_list[k].type));
    EXPECT_TRUE(same_bytes(field, pattern(k), width(r.parameter_list[k].type))) << r.parameter_list[k].name;
  }
  object->release();
}

// The reference host's hot-path block, laid out from the catalogue, gives
// every object the same fields as a block found by name, the first time (by
// the names' characters) and after it (by the addresses they were asked at).
TEST_P(Every_shader, LaidOutBlockCapturesWhatTheNamedBlockDoes) {
  std::vector<catalogue::Value_bytes> values(r.parameter_count);
  host::Input_block laid_out(r);
  kvx::test::Block named;
  for (unsigned k = 0; k < r.parameter_count; ++k) {
    values[k] = pattern(k);
    laid_out.point(k, values[k].data());
    named.set(r.parameter_list[k].name, values[k]);
  }
  auto const offsets = field_offsets(r);
  ZR::SHADER::Shader* expected = plugin->new_instance(nullptr, &named);
  for (int time = 0; time < 2; ++time) {
    ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &laid_out);
    for (unsigned k = 0; k < r.parameter_count; ++k)  // the fields, not the padding between them
      EXPECT_EQ(std::memcmp(bytes_of(object) + offsets[k], bytes_of(expected) + offsets[k],
                            width(r.parameter_list[k].type)),
                0)
          << r.parameter_list[k].name << ", time " << time;
    object->release();
  }
  expected->release();
}

TEST_P(Every_shader, MissingParametersAreLookedUpOnceAndLeftZero) {
  kvx::test::Block block(&host);
  block.set("unrelated", pattern(7));
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &block);
  EXPECT_EQ(host.count(Call::lookup), r.parameter_count);
  auto offsets = field_offsets(r);
  for (unsigned k = 0; k < r.parameter_count; ++k)
    for (unsigned i = 0; i < width(r.parameter_list[k].type); ++i)
      EXPECT_EQ(bytes_of(object)[offsets[k] + i], 0) << r.parameter_list[k].name;
  object->release();
}

TEST_P(Every_shader, WithoutDataBlockCapturesNothingAndFieldsAreZero) {
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, nullptr);
  EXPECT_TRUE(host.calls().empty());
  auto offsets = field_offsets(r);
  for (unsigned k = 0; k < r.parameter_count; ++k)
    for (unsigned i = 0; i < width(r.parameter_list[k].type); ++i) EXPECT_EQ(bytes_of(object)[offsets[k] + i], 0);
  object->release();
}

TEST_P(Every_shader, MainLooksUpAndNotifiesResultOnceThenStoresItsWidth) {
  kvx::test::Block inputs;
  for (unsigned k = 0; k < r.parameter_count; ++k) inputs.set(r.parameter_list[k].name, pattern(k));
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &inputs);

  catalogue::Value_bytes canary;
  canary.fill(0xAA);
  kvx::test::Block output(&host);
  output.set("result", canary);
  object->main(host.state(), &output);
  object->main(host.state(), &output);  // main changes nothing: it may run again

  std::vector<Call> block_calls;
  for (auto const& c : host.calls())
    if (c.call == Call::lookup || c.call == Call::notify_output) {
      block_calls.push_back(c.call);
      EXPECT_EQ(c.name_view(), "result");
    }
  EXPECT_EQ(block_calls, (std::vector<Call>{Call::lookup, Call::notify_output, Call::lookup, Call::notify_output}));
  EXPECT_EQ(host.calls().front().call, Call::lookup) << "the result address comes first";
  EXPECT_EQ(host.calls()[1].call, Call::notify_output);

  catalogue::Value_bytes stored{};
  std::memcpy(stored.data(), output.find("result"), 16);
  for (unsigned i = width(r.result); i < 16; ++i) EXPECT_EQ(stored[i], 0xAA) << "byte " << i << " past the result";
  object->release();
}

TEST_P(Every_shader, MainWithoutResultInTheBlockStoresNothing) {
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, nullptr);
  kvx::test::Block output(&host);
  output.set("left", pattern(0));
  object->main(host.state(), &output);
  ASSERT_EQ(host.calls().size(), 2u) << "nothing is computed for a missing result";
  EXPECT_EQ(host.calls()[0].call, Call::lookup);
  EXPECT_EQ(host.calls()[1].call, Call::notify_output);
  EXPECT_TRUE(same_bytes(catalogue::Value_bytes{*reinterpret_cast<catalogue::Value_bytes const*>(output.find("left"))},
                         pattern(0), 16));
  object->release();
}

INSTANTIATE_TEST_SUITE_P(Catalogue, Every_shader, ::testing::Range(0u, catalogue::shader_count), shader_test_name);

// A laid-out block answers its names wherever they lie, and no other name.
TEST(Laid_out_blocks, AnswerTheirNamesAtAnyAddressAndNoOther) {
  float left = 1, right = 2;
  host::Input_block inputs(*catalogue::find("Math_float_add"));
  inputs.point(0, &left);
  inputs.point(1, &right);
  host::Result_block output;
  for (int time = 0; time < 2; ++time) {
    std::string const copies[] = {"left", "right", "result"};
    EXPECT_EQ(inputs.lookup("left"), &left);
    EXPECT_EQ(inputs.lookup(copies[0].c_str()), &left);
    EXPECT_EQ(inputs.lookup(copies[1].c_str()), &right);
    EXPECT_EQ(output.lookup(copies[2].c_str()), output.result().data());
    EXPECT_EQ(output.lookup("result"), output.result().data());
    for (char const* other : {"", "lef", "lefts", "Left", "result", "rightx"})
      EXPECT_EQ(inputs.lookup(other), nullptr) << other;
    for (char const* other : {"", "resul", "results", "left"}) EXPECT_EQ(output.lookup(other), nullptr) << other;
  }
  EXPECT_EQ(inputs.lookup(nullptr), nullptr);
  EXPECT_EQ(output.lookup(nullptr), nullptr);
}

// A host's buffer that holds one name and then another, or a name freed and
// its address given to another: each is answered by what it says now.
// Both with the program's constants known (its literals then known by their
// address) and without.
class Data_blocks : public ::testing::TestWithParam<bool> {};

TEST(Constant_memory, HoldsAnObjectsConstantsAndNothingWritable) {
  static char const* const literal = "left";
  auto const constants = host::Constant_memory::of(reinterpret_cast<void const*>(&catalogue::find));
  std::string const on_heap = "a name long enough for the heap";
  char on_stack[8] = "left";
  EXPECT_TRUE(constants.holds(literal));
  EXPECT_FALSE(constants.holds(on_heap.c_str()));
  EXPECT_FALSE(constants.holds(on_stack));
  EXPECT_FALSE(constants.holds(&literal)) << "a writable or relocated variable";
}

TEST_P(Data_blocks, AnswerTheNameNotTheAddress) {
  float left = 1, right = 2;
  auto const program = host::Constant_memory::of(reinterpret_cast<void const*>(&catalogue::find));
  host::Constant_memory const* constants = GetParam() ? &program : nullptr;
  host::Input_block laid_out(*catalogue::find("Math_float_add"), constants);
  laid_out.point(0, &left);
  laid_out.point(1, &right);
  host::Result_block result(constants);
  EXPECT_EQ(laid_out.lookup("left"), &left);  // a constant: known by its address from now on
  EXPECT_EQ(result.lookup("result"), result.result().data());
  kvx::test::Block named;
  named.set("left", left).set("right", right);
  char buffer[8];
  auto ask = [&](ZR::SHADER::Data_block& block, char const* name) {
    std::strcpy(buffer, name);
    return block.lookup(buffer);
  };
  for (int time = 0; time < 2; ++time) {
    EXPECT_EQ(ask(laid_out, "left"), &left);
    EXPECT_EQ(ask(laid_out, "right"), &right);
    EXPECT_EQ(ask(laid_out, "result"), nullptr);
    EXPECT_EQ(ask(result, "result"), result.result().data());
    EXPECT_EQ(ask(result, "left"), nullptr);
    EXPECT_EQ(*static_cast<float*>(ask(named, "left")), left);
    EXPECT_EQ(*static_cast<float*>(ask(named, "right")), right);
  }
  for (char const* name : {"left", "right"}) {
    auto freed = std::make_unique<std::string>(name);
    char const* at = freed->c_str();
    EXPECT_NE(laid_out.lookup(at), nullptr);
    freed.reset();
    auto other = std::make_unique<std::string>("lerp");  // likely at the freed address
    EXPECT_EQ(laid_out.lookup(other->c_str()), nullptr) << (other->c_str() == at ? "at the freed address" : "");
  }
  EXPECT_EQ(named.lookup(nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Constants, Data_blocks, ::testing::Bool());

// The worked member of the family, from end to end.
TEST(Shader_object, CapturedValuesAreFrozenAtCreation) {
  kvx::test::Recording_host host;
  kvx::test::Block inputs;
  inputs.set("left", 2.5f).set("right", 4.0f);
  auto plugin = Plugin_ptr{new_plugin("Math_float_add")};
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &inputs);
  inputs.set("left", 100.0f);

  kvx::test::Block output;
  output.add_result().set("left", -1.0f).set("right", -1.0f);
  for (int i = 0; i < 3; ++i) {
    object->main(host.state(), &output);
    EXPECT_EQ(output.get<float>("result"), 6.5f);
  }
  object->release();
}

TEST(Shader_object, MissingScalarIsZeroNotTheDeclaredDefault) {
  EXPECT_TRUE(same_floats(evaluate("Math_float_add", {floats(2.5f), floats(0.0f)}), {2.5f}));
  kvx::test::Recording_host host;
  kvx::test::Block inputs;
  inputs.set("right", 3.0f);
  auto plugin = Plugin_ptr{new_plugin("Math_float_multiply")};
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &inputs);
  kvx::test::Block output;
  output.add_result();
  object->main(host.state(), &output);
  EXPECT_EQ(bits(output.get<float>("result")), bits(0.0f)) << "left is 0, not the declared 1.0";
  object->release();
}

TEST(Shader_object, BoolBytesAreCapturedAsIs) {
  kvx::test::Block inputs;
  inputs.set("condition", std::uint8_t{2}).set("true_value", std::uint8_t{7}).set("false_value", std::uint8_t{0});
  auto plugin = Plugin_ptr{new_plugin("Math_bool_conditional")};
  ZR::SHADER::Shader* object = plugin->new_instance(nullptr, &inputs);
  EXPECT_EQ(reinterpret_cast<std::uint8_t const*>(object)[8], 2);
  kvx::test::Recording_host host;
  kvx::test::Block output;
  output.add_result();
  object->main(host.state(), &output);
  EXPECT_EQ(output.get<std::uint8_t>("result"), 7) << "conditional copies the selected byte unchanged";
  object->release();
}

}  // namespace
}  // namespace kvx::test
