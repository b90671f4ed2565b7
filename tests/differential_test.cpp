// SPDX-License-Identifier: Apache-2.0
// Both interfaces compute every shader with the same inline code: for the same
// inputs, the C entry and the shader object give identical bits.
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

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
