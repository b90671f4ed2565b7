// SPDX-License-Identifier: Apache-2.0
// A batch of any shader on any instruction set, over arbitrary values: some
// parameters arrays (strided, maybe backwards), some one value for every
// point or their default, the result strided.
//
// Property: every point is bit for bit what the shader's C entry gives for
// its values in plain mode, and no byte outside the results is written.
#include <algorithm>
#include <vector>

#include <host/batch_library.h>
#include <network/batch_shading.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  FuzzedDataProvider in(data, size);
  auto const& row = catalogue::shaders[in.ConsumeIntegralInRange<unsigned>(0, catalogue::shader_count - 1)];
  static host::Batch_library const& batch = network::batch_library();
  char const* const targets[] = {"sse2", "avx2", "avx512"};
  batch.use_target(targets[in.ConsumeIntegralInRange<unsigned>(0, 2)]);  // false where this processor lacks it
  std::size_t const count = in.ConsumeIntegralInRange<std::size_t>(0, 70);

  // The types read: the parameters', or a State_ shader's field's.
  std::vector<catalogue::Type> types;
  if (row.source != catalogue::Source::none)
    types.push_back(row.result == catalogue::Type::bool_ ? catalogue::Type::int_ : row.result);
  for (auto const& p : row.parameters()) types.push_back(p.type);

  // Each parameter: an array with a stride (negative: backwards), one value, or the default.
  struct Array {
    std::vector<std::uint8_t> bytes;
    std::ptrdiff_t stride;
    std::uint8_t* first;
  };
  std::vector<Array> arrays;
  std::vector<kvx_batch_values> parameters;
  for (std::size_t k = 0; k < types.size(); ++k) {
    unsigned const width = catalogue::width(types[k]);
    int const how = in.ConsumeIntegralInRange<int>(0, row.source != catalogue::Source::none ? 1 : 2);
    std::ptrdiff_t const stride = how == 0 ? static_cast<std::ptrdiff_t>(width + in.ConsumeIntegralInRange<unsigned>(0, 5))
                                           : 0;
    bool const backwards = how == 0 && in.ConsumeBool();
    std::size_t const points = how == 0 ? count : 1;
    Array a{std::vector<std::uint8_t>(points * static_cast<std::size_t>(stride ? stride : width) + 1), backwards ? -stride : stride, nullptr};
    auto const fill = in.ConsumeBytes<std::uint8_t>(a.bytes.size());
    std::copy(fill.begin(), fill.end(), a.bytes.begin());
    a.first = a.bytes.data() + 1 + (backwards && points ? (points - 1) * static_cast<std::size_t>(stride) : 0);
    parameters.push_back({how == 2 ? nullptr : a.first, a.stride});
    arrays.push_back(std::move(a));
  }
  unsigned const result_width = catalogue::width(row.result);
  std::ptrdiff_t const result_stride = result_width + in.ConsumeIntegralInRange<unsigned>(0, 3);
  std::vector<std::uint8_t> results(count * static_cast<std::size_t>(result_stride) + 16, canary);

  kvx::test::Recording_host host(calls_per_input);
  host.set_recording(false);
  kvx_batch_host const lookups = network::batch_host(host);
  kvx_batch_status const status = batch.function(row.index)(&lookups, count, parameters.data(),
                                                             {results.data(), result_stride});
  KVX_REQUIRE(status == KVX_BATCH_DONE);

  // Each point through the C entry, plain mode, its values constants in the block.
  host::Parameter_block block;
  host.record().set_tag_offset(block.tag_offset());
  for (std::size_t i = 0; i < count; ++i) {
    auto value_of = [&](std::size_t k) {
      catalogue::Value_bytes value{};
      unsigned const width = catalogue::width(types[k]);
      if (!parameters[k].data) value = row.parameter_list[k - (row.source != catalogue::Source::none)].default_value;
      else std::memcpy(value.data(), static_cast<std::uint8_t const*>(parameters[k].data) +
                                         static_cast<std::ptrdiff_t>(i) * parameters[k].stride, width);
      return value;
    };
    if (row.source != catalogue::Source::none) {
      catalogue::Value_bytes const answer = value_of(0);
      float f[4];
      std::int32_t n;
      std::memcpy(f, answer.data(), sizeof f);
      std::memcpy(&n, answer.data(), sizeof n);
      bool const integer = types[0] == catalogue::Type::int_;
      switch (row.source) {
        case catalogue::Source::state:
          if (integer) host.set_int(row.id, n);
          else if (types[0] == catalogue::Type::float_) host.set_float(row.id, f[0]);
          else if (types[0] == catalogue::Type::float2) host.set_float2(row.id, {f[0], f[1]});
          else host.set_float3(row.id, {f[0], f[1], f[2]});
          break;
        case catalogue::Source::render:
          if (integer) host.set_render_int(row.id, n);
          else host.set_render_float(row.id, f[0]);
          break;
        default:
          if (integer) host.set_camera_int(row.id, n);
          else if (types[0] == catalogue::Type::float2) host.set_camera_float2(row.id, {f[0], f[1]});
          else host.set_camera_float(row.id, f[0]);
      }
    } else {
      for (std::size_t k = 0; k < types.size(); ++k) block.set(row.parameter_list[k], value_of(k));
    }
    std::array<std::uint8_t, 32> expected;
    expected.fill(canary);
    entry_of(row)(expected.data(), host.record().get(), block.params());
    KVX_REQUIRE(std::memcmp(expected.data(), results.data() + i * static_cast<std::size_t>(result_stride),
                            result_width) == 0);
    for (std::ptrdiff_t b = result_width; b < result_stride; ++b)
      KVX_REQUIRE(results[i * static_cast<std::size_t>(result_stride) + static_cast<std::size_t>(b)] == canary);
  }
  for (std::size_t b = count * static_cast<std::size_t>(result_stride); b < results.size(); ++b)
    KVX_REQUIRE(results[b] == canary);
  return 0;
}
