// SPDX-License-Identifier: Apache-2.0
// Arbitrary text read as a network, then finished.
//
// Property: the reader either builds a network or refuses it with a
// Network_error naming where it stood; nothing else escapes, nothing crashes.
#include <string_view>

#include <network/network_text.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  using namespace kvx;
  using namespace kvx::fuzz;
  network::Network_text text(library());
  try {
    std::string_view const input(reinterpret_cast<char const*>(data), size);
    network::Location const end{"input", text.read(input, "input")};
    text.finish(end);
  } catch (network::Network_error const& e) {
    KVX_REQUIRE(e.location.source == "input");
  }
  return 0;
}
