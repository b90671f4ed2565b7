// SPDX-License-Identifier: Apache-2.0
// The C call entry of every shader, written once: evaluate the parameters
// through the host, compute with the very code the shader object's main runs,
// and deliver in plain or gathering mode.
//
// This is the renderer's innermost path: nothing is allocated, every working
// value lives on the stack, and no shader object or virtual call is involved;
// the only calls are the host's, the shader's one computation and the C math
// library's inside it.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include <bridge/check/check.h>
#include <bridge/entry/gather.h>
#include <bridge/entry/parameters.h>
#include <bridge/interface/host_state.h>
#include <bridge/interface/interface.h>
#include <catalogue/catalogue.h>
#include <shaders/compute.h>

namespace kvx::bridge {

inline constexpr int ray_type_shadow = 4;
inline constexpr int ray_type_skip = 5;  // gathering mode only: answer zeros, do nothing else
inline constexpr char shadow_key[] = "kvx:shadow";
inline constexpr int shadow_store_mode = 2;

// Stored under "kvx:shadow" for four-float results on shadow rays.
struct Shadow_record {
  float value[4];         // the computed value, unweighted
  float weight[4];        // State get_shadow_weight
  std::uint32_t context;  // Host_state shadow_context
};
static_assert(sizeof(Shadow_record) == 36);

// Releases a host object if the call leaves by exception; on the normal path
// the entry releases it in its place in the protocol with done().
template <class Host_object>
class Release_on_unwind {
 public:
  explicit Release_on_unwind(Host_object* object) : object_(object) {}
  Release_on_unwind(Release_on_unwind const&) = delete;
  Release_on_unwind& operator=(Release_on_unwind const&) = delete;
  ~Release_on_unwind() {
    if (object_) object_->release();
  }
  void done() { std::exchange(object_, nullptr)->release(); }

 private:
  Host_object* object_;
};

// State_normal and State_dot_nd read the State with a normal from the start of
// the parameter block in place, and put the host's normal back on every way out.
class Normal_override {
 public:
  explicit Normal_override(Host_state* state)
      : state_(state), saved_(record_field::read<Saved>(state, record_field::normal)) {}
  Normal_override(Normal_override const&) = delete;
  Normal_override& operator=(Normal_override const&) = delete;
  ~Normal_override() { record_field::write(state_, record_field::normal, saved_); }

  void apply(unsigned char* block) {
    if (!block) return;
    void const* from = nullptr;
    switch (general_source(block, Tag_settings::of(state_).tag_offset)) {
      case Source_of_value::unset: return;
      case Source_of_value::slot: from = block; break;
      case Source_of_value::connection: from = zr_phen_eval(state_, block); break;
    }
    if (from) std::memcpy(reinterpret_cast<unsigned char*>(state_) + record_field::normal, from, sizeof(Saved));
  }

 private:
  struct Saved { float xyz[3]; };
  Host_state* state_;
  Saved saved_;
};

template <catalogue::Type R>
inline constexpr bool has_shadow_delivery = R == catalogue::Type::float4 || R == catalogue::Type::color;

// Gathering mode, shadow ray, four-float result: store the unweighted value
// with its weight, deliver it weighted.
inline void deliver_shadow(ZR::SHADER::State& s, Host_state* state, unsigned char const* buffer, void* result) {
  ZR::SHADER::Vector4 const w = s.get_shadow_weight();
  Shadow_record record;
  std::memcpy(record.value, buffer, sizeof record.value);
  record.weight[0] = w.x, record.weight[1] = w.y, record.weight[2] = w.z, record.weight[3] = w.w;
  record.context = record_field::read<std::uint32_t>(state, record_field::shadow_context);
  zr_shaderstate_set(state, shadow_key, &record, sizeof record, shadow_store_mode);
  float weighted[4];
  for (int i = 0; i < 4; ++i) weighted[i] = record.value[i] * record.weight[i];
  std::memcpy(result, weighted, sizeof weighted);
}

// Reads every parameter, once each and in declaration order, and runs the
// shader's computation on them. The values are named locals, not a tuple: from
// a tuple the compiler packs the argument registers through memory, in pieces
// too small to forward to the wider loads that follow.
template <unsigned Index, class Operation>
[[gnu::always_inline]] inline auto compute_from_block(ZR::SHADER::State* s, Host_state* hs, unsigned char* block) {
  constexpr unsigned count = catalogue::shaders[Index].parameter_count;
  static_assert(count <= 3 && catalogue::max_parameters == 3);
  if constexpr (count == 0) {
    return shaders::compute<Index, Operation>(s);
  } else if constexpr (count == 1) {
    auto const a = parameter<Index, 0>(hs, block);
    return shaders::compute<Index, Operation>(s, a);
  } else if constexpr (count == 2) {
    auto const a = parameter<Index, 0>(hs, block);
    auto const b = parameter<Index, 1>(hs, block);
    return shaders::compute<Index, Operation>(s, a, b);
  } else {
    auto const a = parameter<Index, 0>(hs, block);
    auto const b = parameter<Index, 1>(hs, block);
    auto const c = parameter<Index, 2>(hs, block);
    return shaders::compute<Index, Operation>(s, a, b, c);
  }
}

// Steps 5 to 13 of docs/host-interface.md: from the instance-slot query to the
// State's release.
template <unsigned Index, class Operation, class Result>
[[gnu::always_inline]] inline int evaluate_and_deliver(void* result, Host_state* state, unsigned char* block,
                                                       bool gathering) {
  static constexpr catalogue::Shader const& row = catalogue::shaders[Index];
  void** instance = check::enabled ? check::unwritten_slot() : nullptr;
  zr_query(QUERY_INSTANCE_SLOT, state, 0, &instance);
  check::expect([&] { return instance != check::unwritten_slot(); }, Index, check::Finding::slot_unwritten);

  alignas(16) unsigned char buffer[16] = {};
  Result const record{buffer};

  // The Runtime_interface goes as soon as it has handed out the State, which
  // is held from then on, also if that release throws.
  ZR::SHADER::Runtime_interface* const runtime = zr_get_korvex_interface(1);
  check::expect([&] { return runtime != nullptr; }, Index, check::Finding::no_runtime_interface);
  Release_on_unwind<ZR::SHADER::Runtime_interface> interface(runtime);
  ZR::SHADER::State* const s = runtime->get_state(state);
  check::expect([&] { return s != nullptr; }, Index, check::Finding::no_state);
  Release_on_unwind<ZR::SHADER::State> held(s);
  interface.done();
  Host_state* const hs = row.parameter_count ? s->get_host_state() : nullptr;
  check::expect([&] { return hs != nullptr || row.parameter_count == 0; }, Index, check::Finding::no_host_state);
  check::expect([&] { return block != nullptr || row.parameter_count == 0; }, Index,
                check::Finding::null_parameter_block);
  auto const value = compute_from_block<Index, Operation>(s, hs, block);
  static_assert(decltype(value)::type == row.result);
  std::memcpy(buffer, &value, sizeof value);

  if (!gathering) {
    std::memcpy(result, buffer, slot_size(row.result));
  } else if (record_field::read<std::int32_t>(state, record_field::ray_type) == ray_type_shadow) {
    if constexpr (has_shadow_delivery<row.result>)
      deliver_shadow(*s, state, buffer, result);
    else
      std::memcpy(result, buffer, 16);
  } else {
    ZR::SHADER::gather(s, &record);
    std::memcpy(result, buffer, 16);
  }
  held.done();
  return 1;
}

// The entry named after the shader: result, the host's shading state, the
// instance's parameter block. Returns 1, or 0 for the gathering-mode skip.
template <unsigned Index, class Operation, class Result>
int call_entry(void* result, Host_state* state, void* block_address) {
  static constexpr catalogue::Shader const& row = catalogue::shaders[Index];
  if (!result) return 1;

  std::uint32_t gathering = check::enabled ? check::unwritten_flag : 0;
  zr_query(QUERY_GATHER_FLAG, state, 0, &gathering);
  gathering = check::answered(gathering, check::unwritten_flag, Index, check::Finding::gather_flag_unwritten);
  if (gathering && record_field::read<std::int32_t>(state, record_field::ray_type) == ray_type_skip) {
    std::memset(result, 0, 16);
    return 0;
  }

  auto* const block = static_cast<unsigned char*>(block_address);
  if constexpr (row.entry == catalogue::Entry::overrides_normal) {
    Normal_override normal(state);  // steps 4 and 14 of docs/host-interface.md
    normal.apply(block);
    return evaluate_and_deliver<Index, Operation, Result>(result, state, block, gathering != 0);
  } else {
    return evaluate_and_deliver<Index, Operation, Result>(result, state, block, gathering != 0);
  }
}

}  // namespace kvx::bridge
