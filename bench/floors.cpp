// SPDX-License-Identifier: Apache-2.0
#include "floors.h"

#include <array>

#include <catalogue/catalogue.h>

#include "floor_entry.h"

namespace kvx::bench {

// Math_float_add, plain mode.
int floor_float_add(void* result, Host_state* state, void* params) {
  if (!result) return 1;
  std::uint32_t gathering = 0;
  if (skipped(result, state, gathering)) return 0;
  auto* s = acquire_state(state);
  Host_state* hs = s->get_host_state();
  auto* block = static_cast<unsigned char*>(params);
  float const left = general(hs, block, 0.0f);
  float const right = general(hs, block + 4, 0.0f);
  float const value = left + right;
  std::memcpy(result, &value, 4);
  if (gathering) std::memset(static_cast<unsigned char*>(result) + 4, 0, 12);
  s->release();
  return 1;
}

Entry* floor_of(unsigned index) {
  static std::array<Entry*, catalogue::shader_count> const table = [] {
    std::array<Entry*, catalogue::shader_count> t{};
    add_floors_arithmetic(t.data());
    add_floors_functions(t.data());
    add_floors_comparison(t.data());
    add_floors_geometry(t.data());
    add_floors_state(t.data());
    return t;
  }();
  return table.at(index);
}

}  // namespace kvx::bench
