// SPDX-License-Identifier: Apache-2.0
// Shared by the fuzz targets: the loaded library, a parameter block with room
// for tags, and property checks that stop the run on a violation.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fuzzer/FuzzedDataProvider.h>

#include <catalogue/catalogue.h>
#include <tests/test_host.h>
#include <host/library.h>
#include <host/parameter_block.h>

namespace kvx::fuzz {

// Loaded once and kept for the life of the fuzzing process.
inline host::Library& library() {
  static host::Library* loaded = new host::Library;
  return *loaded;
}

// A property that must hold for every input.
#define KVX_REQUIRE(condition)                                                          \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

using Entry = int(void*, Host_state*, void*);

// Looked up once per shader, not once per input.
inline Entry* entry_of(catalogue::Shader const& row) {
  static std::array<Entry*, catalogue::shader_count> entries{};
  Entry*& entry = entries[row.index];
  if (!entry) {
    char name[64] = {};
    std::memcpy(name, row.name.data(), row.name.size());
    entry = library().function<Entry>(name);
  }
  return entry;
}

// A fresh host per input, with a call log sized for one call of one shader.
inline constexpr std::size_t calls_per_input = 64;

inline constexpr std::uint8_t canary = 0xA5;

// What a shader object captured from `inputs` stores under "result".
inline catalogue::Value_bytes object_result(catalogue::Shader const& row, kvx::test::Block& inputs,
                                            kvx::test::Recording_host& host) {
  return host::Shader_object(*library().shader_plugin(row.index), inputs).result(host.state());
}

}  // namespace kvx::fuzz
