// SPDX-License-Identifier: Apache-2.0
// What the benchmarks and the instruction counts measure: every shader against
// its floor, ten representative ones (every family and result type) also in
// time, on one host state and parameter block per case.
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <host/reference_host.h>
#include <host/library.h>
#include <host/parameter_block.h>
#include <host/requests.h>

#include "floors.h"

namespace kvx::bench {

enum class Mode { plain, gather, gather_list };
inline constexpr char const* mode_names[] = {"plain", "gather", "gather+list"};

struct Case {
  catalogue::Shader const* row;
  Entry* floor[3];  // by Mode
};

inline Case generic_case(unsigned index) {
  Entry* floor = floor_of(index);
  return {&catalogue::shaders[index], {floor, floor, floor}};
}

constexpr unsigned index_of(std::string_view name) { return catalogue::find(name)->index; }

// Those measured in time, and quoted.
inline std::vector<Case> cases() {
  std::vector<Case> chosen;
  for (auto name : {"Math_float_add", "Math_float3_normalize", "Math_color_smoothstep", "Math_float4_exp2",
                    "Math_int_pow", "Math_refract", "Math_color_conditional", "Math_color_tex2d", "State_normal",
                    "State_focal_length"})
    chosen.push_back(generic_case(index_of(name)));
  chosen.front().floor[int(Mode::plain)] = &floor_float_add;
  return chosen;
}

// Every shader, against its generic floor.
inline std::vector<Case> all_cases() {
  std::vector<Case> all;
  for (unsigned i = 0; i < catalogue::shader_count; ++i) all.push_back(generic_case(i));
  return all;
}

// One host, one parameter block of constants, one request list.
struct Bench_host {
  host::Reference_host host;
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
      catalogue::Value_bytes value;
      std::memcpy(value.data(), kind(p.type) == catalogue::Kind::real ? static_cast<void const*>(floats) : ints, 16);
      parameters.set(p, value);
    }
    host.set_gather_flag(mode == Mode::plain ? 0 : 1);
    requests.named("result", 5, destinations[0].data()).by_id(6, 4, destinations[1].data());
    host.set_output_requests(mode == Mode::gather_list ? requests.list() : nullptr);
  }
};

}  // namespace kvx::bench
