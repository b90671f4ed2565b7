// SPDX-License-Identifier: Apache-2.0
// The C call entry of any shader, with arbitrary parameter bytes, tags, tag
// offset, integer-tag switch, gathering flag and ray type.
//
// Properties: the return value and the bytes written are exactly what the
// mode calls for; the State and the Runtime_interface are released once each
// when acquired; the host's normal is restored; and when every parameter is a
// constant, the shader object computes the same bits.
#include <algorithm>
#include <memory>

#include <host/requests.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  FuzzedDataProvider in(data, size);
  auto const& row = catalogue::shaders[in.ConsumeIntegralInRange<unsigned>(0, catalogue::shader_count - 1)];
  bool const constants_only = in.ConsumeBool();

  kvx::test::Recording_host host(calls_per_input);
  std::int32_t const tag_offset = constants_only ? 64
                                                 : in.ConsumeIntegralInRange<std::int32_t>(
                                                       -host::Parameter_block::reach, host::Parameter_block::reach);
  host::Parameter_block area(tag_offset);
  host.record().set_tag_offset(tag_offset);
  host.record().set_integer_tags(constants_only ? 0 : in.ConsumeIntegral<std::uint8_t>());
  std::uint32_t const gathering = constants_only ? 0 : in.ConsumeIntegral<std::uint32_t>();
  int const ray_type = constants_only ? 0 : in.ConsumeIntegralInRange<int>(-1, 6);
  host.set_gather_flag(gathering);
  host.record().set_ray_type(ray_type);
  host.record().set_normal({1.0f, 2.0f, 3.0f});

  auto const fill = in.ConsumeBytes<std::uint8_t>(area.bytes().size());
  std::copy(fill.begin(), fill.end(), area.bytes().begin());
  for (auto const& p : row.parameters()) {
    std::array<std::uint8_t, 16> connection{};
    auto const bytes = in.ConsumeBytes<std::uint8_t>(16);
    std::copy(bytes.begin(), bytes.end(), connection.begin());
    host.connect(area.slot(p), connection);
    if (constants_only) area.set_tag(p, bridge::tag_constant);
  }
  if (constants_only) area.set_tag_at(0, bridge::tag_constant);  // the normal override's

  host::Output_requests requests;
  std::array<std::uint8_t, 16> destination{};
  requests.named("result", 5, destination.data()).by_id(3, 4, destination.data());
  host.set_output_requests(in.ConsumeBool() ? requests.list() : nullptr);

  std::array<std::uint8_t, 32> result;
  result.fill(canary);
  int const returned = entry_of(row)(result.data(), host.record().get(), area.params());

  bool const skipped = gathering != 0 && ray_type == 5;
  KVX_REQUIRE(returned == (skipped ? 0 : 1));
  unsigned const written = gathering != 0 ? 16 : slot_size(row.result);
  for (unsigned i = written; i < result.size(); ++i) KVX_REQUIRE(result[i] == canary);
  if (skipped)
    for (unsigned i = 0; i < 16; ++i) KVX_REQUIRE(result[i] == 0);
  KVX_REQUIRE(host.count(kvx::test::Call::get_state) == host.count(kvx::test::Call::state_release));
  KVX_REQUIRE(host.count(kvx::test::Call::get_interface) == host.count(kvx::test::Call::interface_release));
  KVX_REQUIRE(host.count(kvx::test::Call::get_state) == (skipped ? 0u : 1u));
  auto const normal = host.record().normal();
  KVX_REQUIRE(normal.x == 1.0f && normal.y == 2.0f && normal.z == 3.0f);

  if (constants_only) {
    kvx::test::Block inputs;  // the constants in the block, by name
    for (auto const& p : row.parameters()) inputs.set_bytes(p.name, area.slot(p), width(p.type));
    auto const expected = object_result(row, inputs, host);
    KVX_REQUIRE(std::memcmp(expected.data(), result.data(), width(row.result)) == 0);
  }
  return 0;
}
