// SPDX-License-Identifier: Apache-2.0
// Output gathering through the C entry in gathering mode, and the exported
// gather itself for a Result without a value, or none.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <bridge/interface/host_state.h>
#include <host/requests.h>

#include "support.h"

namespace kvx::test {
namespace {

using kvx::test::Call;

catalogue::Value_bytes filled(std::uint8_t byte) {
  catalogue::Value_bytes b;
  b.fill(byte);
  return b;
}

// Math_float3_add of (1, 2, 3) and (10, 20, 30) in gathering mode.
struct Gathering : ::testing::Test {
  kvx::test::Recording_host host;
  C_block block;
  host::Output_requests requests;

  C_result run(bool with_list = true) {
    auto const& r = row("Math_float3_add");
    host.record().set_tag_offset(block.tag_offset());
    block.set(r.parameter_list[0], floats(1, 2, 3));
    block.set(r.parameter_list[1], floats(10, 20, 30));
    host.set_gather_flag(1);
    host.set_output_requests(with_list ? requests.list() : nullptr);
    return call_c(r.name, host, block);
  }
};

TEST_F(Gathering, WithoutAListNothingIsGatheredAndTheValueStillDelivered) {
  C_result out = run(false);
  EXPECT_EQ(host.count(Call::output_requests), 1u);
  EXPECT_TRUE(same_floats(out.value(), {11, 22, 33, 0}));
}

TEST_F(Gathering, AnEmptyListIsOnlyMarkedDone) {
  run();
  EXPECT_EQ(requests.done_byte(), 1);
}

TEST_F(Gathering, NamedResultCopiesTheTypeCodesWidthFromTheValue) {
  catalogue::Value_bytes d2 = filled(0xEE), d3 = filled(0xEE), d4 = filled(0xEE), d5 = filled(0xEE), d12 = filled(0xEE);
  requests.named("result", 2, &d2).named("result", 3, &d3).named("result", 4, &d4).named("result", 5, &d5).named(
      "result", 12, &d12);
  C_result out = run();
  EXPECT_TRUE(same_bytes(d2, floats(11, 0xEE), 4));
  EXPECT_EQ(d2[4], 0xEE);
  EXPECT_TRUE(same_floats(d3, {11, 22}));
  EXPECT_EQ(d3[8], 0xEE);
  EXPECT_TRUE(same_floats(d4, {11, 22, 33}));
  EXPECT_EQ(d4[12], 0xEE);
  EXPECT_TRUE(same_floats(d5, {11, 22, 33, 0}));
  EXPECT_TRUE(same_floats(d12, {11, 22, 33, 0}));
  EXPECT_TRUE(requests.done());
  EXPECT_TRUE(same_floats(out.value(), {11, 22, 33}));
}

TEST_F(Gathering, OtherNamesGetZerosOfTheRequestedWidth) {
  mistakes_on_purpose();
  char const* names[] = {"results", "resul", "Result", "", nullptr};
  std::vector<catalogue::Value_bytes> destinations(std::size(names), filled(0xEE));
  for (unsigned i = 0; i < std::size(names); ++i) requests.named(names[i], 4, &destinations[i]);
  run();
  for (auto const& d : destinations) {
    EXPECT_TRUE(same_bytes(d, catalogue::Value_bytes{}, 12));
    EXPECT_EQ(d[12], 0xEE);
  }
}

TEST_F(Gathering, StateIdRequestsCallTheMatchingGetterOnly) {
  mistakes_on_purpose();
  host.set_float(3, 0.5f);
  host.set_float2(3, {1, 2});
  host.set_float3(6, {4, 5, 6});
  host.set_float4(3, {7, 8, 9, 10});
  catalogue::Value_bytes d[6] = {filled(0xEE), filled(0xEE), filled(0xEE), filled(0xEE), filled(0xEE), filled(0xEE)};
  requests.by_id(3, 2, &d[0]).by_id(3, 3, &d[1], 7).by_id(6, 4, &d[2]).by_id(3, 5, &d[3]).by_id(3, 12, &d[4]).by_id(
      3, 1, &d[5]);
  run();
  EXPECT_TRUE(same_floats(d[0], {0.5f}));
  EXPECT_EQ(d[0][4], 0xEE);
  EXPECT_TRUE(same_floats(d[1], {1, 2}));
  EXPECT_TRUE(same_floats(d[2], {4, 5, 6}));
  EXPECT_EQ(d[2][12], 0xEE);
  EXPECT_TRUE(same_floats(d[3], {7, 8, 9, 10}));
  EXPECT_EQ(d[4], filled(0xEE)) << "type code 12 by id answers nothing";
  EXPECT_EQ(d[5], filled(0xEE));
  EXPECT_EQ(host.count(Call::state_float) + host.count(Call::state_float2) + host.count(Call::state_float3) +
                host.count(Call::state_float4),
            4u);
}

TEST_F(Gathering, UnknownTypeCodesAreSkippedForBothKinds) {
  mistakes_on_purpose();
  catalogue::Value_bytes a = filled(0xEE), b = filled(0xEE), c = filled(0xEE);
  requests.named("result", 13, &a).by_id(1, 200, &b).named("result", 0, &c);
  run();
  EXPECT_EQ(a, filled(0xEE));
  EXPECT_EQ(b, filled(0xEE));
  EXPECT_EQ(c, filled(0xEE));
  EXPECT_TRUE(requests.done());
}

TEST_F(Gathering, TheCountIsReadAfreshAfterEveryRequest) {
  catalogue::Value_bytes a = filled(0xEE), b = filled(0xEE), c = filled(0xEE);
  requests.by_id(1, 2, &a).by_id(1, 2, &b).by_id(1, 2, &c);
  host.on_call([&](kvx::test::Call_record const& r) {
    if (r.call == Call::state_float) requests.set_count(1);  // the host shortens its list while answering
  });
  run();
  EXPECT_EQ(host.count(Call::state_float), 1u);
  EXPECT_EQ(b, filled(0xEE));
  EXPECT_TRUE(requests.done());
}

TEST_F(Gathering, MissingArraysAndDestinationsAreNotWrittenThrough) {
  mistakes_on_purpose();
  catalogue::Value_bytes a = filled(0xEE);
  requests.named("result", 5, nullptr).named("result", 2, &a);
  run();
  EXPECT_TRUE(same_floats(a, {11}));
  // Any one of the three arrays missing, with a count far past them.
  for (std::size_t missing : {bridge::record_field::request_entries, bridge::record_field::request_type_codes,
                              bridge::record_field::request_destinations}) {
    a = filled(0xEE);
    auto* list = requests.list();
    bridge::record_field::write(list, missing, static_cast<void const*>(nullptr));
    requests.set_count(1000);
    host.set_output_requests(list);
    EXPECT_EQ(call_c("Math_float3_add", host, block).returned, 1);
    EXPECT_EQ(a, filled(0xEE)) << "array at offset " << missing;
    EXPECT_TRUE(requests.done());
  }
}

TEST_F(Gathering, NameTestReadsNothingPastTheNamesEnd) {
  long const page = sysconf(_SC_PAGESIZE);
  void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(static_cast<char*>(pages) + page, page, PROT_NONE), 0);
  char* name = static_cast<char*>(pages) + page - 4;
  std::memcpy(name, "res", 4);  // ends at the last byte before an unreadable page
  catalogue::Value_bytes d = filled(0xEE);
  requests.named(name, 2, &d);
  run();
  EXPECT_TRUE(same_bytes(d, catalogue::Value_bytes{}, 4));
  munmap(pages, 2 * page);
}

struct Result_record {
  void* result;
};

TEST(Gather, AResultWithoutValueOrNoResultAnswersZeros) {
  using Gather = void(ZR::SHADER::State*, Result_record const*);
  auto* gather = library().function<Gather>(
      "_ZN2ZR6SHADER6gatherINS0_18Kvx_Math_float_add6ResultEEEvPNS0_5StateEPKT_");
  ASSERT_NE(gather, nullptr);
  kvx::test::Recording_host host;
  host::Output_requests requests;
  catalogue::Value_bytes d;
  requests.named("result", 5, &d);
  Result_record const missing{nullptr};
  for (Result_record const* result : {&missing, static_cast<Result_record const*>(nullptr)}) {
    d = filled(0xEE);
    host.set_output_requests(requests.list());
    gather(host.state(), result);
    EXPECT_EQ(d, catalogue::Value_bytes{}) << (result ? "a Result without value" : "no Result");
    EXPECT_TRUE(requests.done());
  }
}

TEST(Gather, EveryShaderHasItsOwnNullblock) {
  for (auto const& r : catalogue::shaders) {
    std::string result = "Kvx_" + std::string(r.name);
    std::string symbol = "_ZZN2ZR6SHADER6gatherINS0_" + std::to_string(result.size()) + result +
                         "6ResultEEEvPNS0_5StateEPKT_E9nullblock";
    auto const* nullblock = static_cast<std::uint8_t const*>(library().symbol(symbol.c_str()));
    ASSERT_NE(nullblock, nullptr) << symbol;
    EXPECT_EQ(*reinterpret_cast<catalogue::Value_bytes const*>(nullblock), catalogue::Value_bytes{});
  }
}

}  // namespace
}  // namespace kvx::test
