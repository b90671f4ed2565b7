// What the benchmarks and the instruction counts measure: a representative
// shader of every family and result type, each with its floor, on one host
// state and parameter block per case.
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <host/reference_host.h>
#include <host/library.h>
#include <host/parameter_block.h>
#include <host/requests.h>
#include <shaders/math/arithmetic.h>
#include <shaders/math/comparison.h>
#include <shaders/math/functions.h>
#include <shaders/math/geometry.h>
#include <shaders/state/state.h>
#include <shaders/state/texture.h>

#include "floor.h"

namespace kvx::bench {

using Entry = int(void*, Host_state*, void*);

enum class Mode { plain, gather, gather_list };
inline constexpr char const* mode_names[] = {"plain", "gather", "gather+list"};

struct Case {
  catalogue::Shader const* row;
  Entry* floor[3];  // by Mode
};

constexpr unsigned index_of(std::string_view name) { return catalogue::find(name)->index; }

template <unsigned Index, class Operation>
Case make_case(Entry* plain = nullptr, Entry* gathering = nullptr) {
  Entry* generic = &floor_entry<Index, Operation>;
  return {&catalogue::shaders[Index],
          {plain ? plain : generic, gathering ? gathering : generic, gathering ? gathering : generic}};
}

inline std::vector<Case> cases() {
  using namespace ops;
  return {
      make_case<index_of("Math_float_add"), op_add>(&floor_float_add),
      make_case<index_of("Math_float3_normalize"), op_normalize>(),
      make_case<index_of("Math_color_smoothstep"), op_smoothstep>(),
      make_case<index_of("Math_float4_exp2"), op_exp2>(),
      make_case<index_of("Math_int_pow"), op_pow>(),
      make_case<index_of("Math_refract"), op_refract>(),
      make_case<index_of("Math_color_conditional"), op_conditional>(),
      make_case<index_of("Math_color_tex2d"), op_tex2d>(),
      make_case<index_of("State_normal"), op_read_state<index_of("State_normal")>>(&floor_state_normal,
                                                                                   &floor_state_normal),
      make_case<index_of("State_focal_length"), op_read_state<index_of("State_focal_length")>>(),
  };
}

// One host, one parameter block of constants, one request list.
struct Bench_host {
  host::Host host;
  host::Parameter_block parameters;
  host::Output_requests requests;
  std::array<unsigned char, 16> destinations[2]{};

  Bench_host(catalogue::Shader const& row, Mode mode) {
    host.record().set_tag_offset(parameters.tag_offset());
    host.record().set_integer_tags(1);
    host.set_float3(9, {0, 0, 1});
    host.set_camera_float(1, 35);
    for (auto const& p : row.parameters()) {
      float const floats[4] = {0.25f, 1.5f, -0.75f, 1};
      std::int32_t const ints[4] = {3, 7, 1, 1};
      Value_bytes value;
      std::memcpy(value.data(), kind(p.type) == Kind::real ? static_cast<void const*>(floats) : ints, 16);
      parameters.set(p, value);
    }
    host.set_gather_flag(mode == Mode::plain ? 0 : 1);
    requests.named("result", 5, destinations[0].data()).by_id(6, 4, destinations[1].data());
    host.set_output_requests(mode == Mode::gather_list ? requests.list() : nullptr);
  }
};

}  // namespace kvx::bench
