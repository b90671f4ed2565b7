// SPDX-License-Identifier: Apache-2.0
// Shader objects captured from data blocks holding arbitrary subsets of their
// parameters, with arbitrary bytes.
//
// Properties: capture looks up each parameter once, twice when present; and
// main computes the same bits as the C entry given the same values, a missing
// parameter counting as zero.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  FuzzedDataProvider in(data, size);
  auto const& row = catalogue::shaders[in.ConsumeIntegralInRange<unsigned>(0, catalogue::shader_count - 1)];

  kvx::test::Recording_host host(calls_per_input);
  kvx::test::Block inputs(&host);
  host::Parameter_block area;
  unsigned present = 0;
  for (auto const& p : row.parameters()) {
    auto bytes = in.ConsumeBytes<std::uint8_t>(width(p.type));
    bytes.resize(width(p.type));
    area.set_tag(p, bridge::tag_constant);
    if (!in.ConsumeBool()) continue;
    ++present;
    inputs.set_bytes(p.name, bytes.data(), bytes.size());
    std::memcpy(area.slot(p), bytes.data(), bytes.size());
  }
  host.record().set_tag_offset(area.tag_offset());

  auto const object = object_result(row, inputs, host);
  KVX_REQUIRE(host.count(kvx::test::Call::lookup) == row.parameter_count + present);

  std::array<std::uint8_t, 16> c_result{};
  entry_of(row)(c_result.data(), host.record().get(), area.params());
  KVX_REQUIRE(std::memcmp(object.data(), c_result.data(), width(row.result)) == 0);
  return 0;
}
