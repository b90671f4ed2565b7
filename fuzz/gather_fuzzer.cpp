// SPDX-License-Identifier: Apache-2.0
// Output gathering with arbitrary request lists: kinds, type codes, names,
// state ids, missing destinations.
//
// Properties: every destination receives exactly the width its request calls
// for and nothing past it; named "result" requests get the value, other names
// zeros, state-id requests the host's answer; the list is marked done.
#include <vector>

#include <host/requests.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  FuzzedDataProvider in(data, size);
  static char const* const names[] = {"result", "resul", "results", "", "Result", nullptr};

  kvx::test::Recording_host host(calls_per_input);
  host::Parameter_block area;
  auto const& row = *catalogue::find("Math_float3_add");
  float const left[4] = {in.ConsumeFloatingPoint<float>(), 2.0f, -0.0f, 0.0f};
  float const right[4] = {1.0f, in.ConsumeFloatingPoint<float>(), 4.0f, 0.0f};
  catalogue::Value_bytes value;
  std::memcpy(value.data(), left, 16);
  area.set(row.parameter_list[0], value);
  std::memcpy(value.data(), right, 16);
  area.set(row.parameter_list[1], value);
  host.record().set_tag_offset(area.tag_offset());
  host.set_gather_flag(1);
  host.record().set_ray_type(in.ConsumeIntegralInRange<int>(0, 3));

  struct Request {
    bool named;
    char const* name;
    std::uint32_t id;
    std::uint32_t code;
    bool has_destination;
  };
  std::vector<Request> made;
  unsigned const count = in.ConsumeIntegralInRange<unsigned>(0, 16);
  std::vector<std::array<std::uint8_t, 32>> destinations(count);
  host::Output_requests requests;
  for (unsigned i = 0; i < count; ++i) {
    destinations[i].fill(canary);
    Request r{in.ConsumeBool(), nullptr, in.ConsumeIntegral<std::uint32_t>() % 64,
              in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 13) : in.ConsumeIntegral<std::uint32_t>(),
              in.ConsumeIntegralInRange<int>(0, 15) != 0};
    r.name = names[in.ConsumeIntegralInRange<unsigned>(0, std::size(names) - 1)];
    void* destination = r.has_destination ? destinations[i].data() : nullptr;
    if (r.named) requests.named(r.name, r.code, destination);
    else requests.by_id(r.id, r.code, destination, in.ConsumeIntegral<std::uint32_t>() | 2);  // any kind but 1
    host.set_float(static_cast<int>(r.id), 0.5f + float(r.id));
    host.set_float4(static_cast<int>(r.id), {float(r.id), 1, 2, 3});
    made.push_back(r);
  }
  host.set_output_requests(requests.list());

  std::array<std::uint8_t, 16> result{};
  entry_of(row)(result.data(), host.record().get(), area.params());
  KVX_REQUIRE(requests.done_byte() == 1);

  for (unsigned i = 0; i < count; ++i) {
    auto const& r = made[i];
    auto const& d = destinations[i];
    unsigned width = 0;
    if (r.named) width = r.code == 2 ? 4 : r.code == 3 ? 8 : r.code == 4 ? 12 : (r.code == 5 || r.code == 12) ? 16 : 0;
    else if (r.code >= 2 && r.code <= 5) width = 4 * (r.code - 1);
    if (!r.has_destination) width = 0;
    for (unsigned b = width; b < d.size(); ++b) KVX_REQUIRE(d[b] == canary);
    if (!width) continue;
    if (r.named && r.name && std::strcmp(r.name, "result") == 0) {
      KVX_REQUIRE(std::memcmp(d.data(), result.data(), width) == 0);
    } else if (r.named) {
      for (unsigned b = 0; b < width; ++b) KVX_REQUIRE(d[b] == 0);
    } else if (r.code == 2) {
      float expected = 0.5f + float(r.id);
      KVX_REQUIRE(std::memcmp(d.data(), &expected, 4) == 0);
    } else if (r.code == 5) {
      float expected[4] = {float(r.id), 1, 2, 3};
      KVX_REQUIRE(std::memcmp(d.data(), expected, 16) == 0);
    }
  }
  return 0;
}
