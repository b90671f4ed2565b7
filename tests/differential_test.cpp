// SPDX-License-Identifier: Apache-2.0
// Both interfaces compute every shader with the same inline code: for the same
// inputs, the C entry and the shader object give identical bits.
#include <cfloat>
#include <climits>
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

std::uint32_t const float_corpus[] = {
    0x00000000, 0x80000000, 0x3f800000, 0xbf800000, 0x7fc01234, 0xffa00001, 0x7f800000, 0xff800000,
    0x00000001, 0x807fffff, 0x7f7fffff, 0xff7fffff, 0x3f000000, 0x40490fdb, 0xc2fe0000, 0x43000000};
std::int32_t const int_corpus[] = {0, 1, -1, INT_MIN, INT_MAX, 7, -7, 65536, 31, 2};
std::uint8_t const bool_corpus[] = {0, 1, 2};

catalogue::Value_bytes corpus_value(catalogue::Type t, unsigned round, unsigned k) {
  catalogue::Value_bytes b{};
  for (unsigned i = 0; i < components(t); ++i) {
    unsigned pick = round * 3 + k * 7 + i * 5;
    switch (kind(t)) {
      case catalogue::Kind::real: {
        float f = from_bits(float_corpus[pick % std::size(float_corpus)]);
        std::memcpy(b.data() + 4 * i, &f, 4);
        break;
      }
      case catalogue::Kind::truth: b[i] = bool_corpus[pick % std::size(bool_corpus)]; break;
      default: {
        std::int32_t v = int_corpus[pick % std::size(int_corpus)];
        std::memcpy(b.data() + 4 * i, &v, 4);
      }
    }
  }
  return b;
}

// Host answers that differ by id and source, for the state read-outs.
void fill_state(kvx::test::Recording_host& host, unsigned round) {
  for (int id = 0; id < 42; ++id) {
    float f = from_bits(float_corpus[(id + round) % std::size(float_corpus)]);
    host.set_int(id, int_corpus[(id + round) % std::size(int_corpus)]);
    host.set_float(id, f);
    host.set_float2(id, {f, -f});
    host.set_float3(id, {f, 1.0f, -0.0f});
    host.set_render_int(id, id * 3 - 7);
    host.set_render_float(id, f * 0.5f);
    host.set_camera_int(id, id % 2);
    host.set_camera_float(id, -f);
    host.set_camera_float2(id, {f, 2.0f});
  }
}

TEST(Differential, EveryShaderGivesTheSameBitsOnBothPaths) {
  constexpr unsigned rounds = 16;
  unsigned checked = 0;
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    for (unsigned round = 0; round < rounds; ++round) {
      std::vector<catalogue::Value_bytes> arguments;
      for (unsigned k = 0; k < r.parameter_count; ++k)
        arguments.push_back(corpus_value(r.parameter_list[k].type, round, k));
      kvx::test::Recording_host host;
      fill_state(host, round);
      catalogue::Value_bytes const object = evaluate(r.name, arguments, &host);
      catalogue::Value_bytes const entry = evaluate_c(r.name, arguments, &host);
      ASSERT_TRUE(same_bytes(entry, object, width(r.result))) << "round " << round;
    }
    ++checked;
  }
  std::printf("[conformance] %u shaders identical to the bit on both paths, %u inputs each\n", checked, rounds);
}

}  // namespace
}  // namespace kvx::test
