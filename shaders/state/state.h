// SPDX-License-Identifier: Apache-2.0
// State read-outs: one host query by id, the result passed on unchanged
// (the three bool shaders turn a non-zero integer into 1).
#pragma once

#include <bit>
#include <cstdint>

#include <bridge/check/check.h>
#include <bridge/interface/interface.h>
#include <catalogue/catalogue.h>
#include <shaders/values.h>

namespace kvx::shaders {

using catalogue::Source;

// Reads what catalogue row Index names: its source, its id, as its result type.
template <unsigned Index>
struct op_read_state {
  static constexpr Source S = catalogue::shaders[Index].source;
  static constexpr Type R = catalogue::shaders[Index].result;
  static constexpr int Id = catalogue::shaders[Index].id;

  // Render and camera settings are borrowed afresh on every evaluation.
  static Value<R> apply(ZR::SHADER::State* state) {
    if constexpr (S == Source::state) return from_state(*state);
    else if constexpr (S == Source::render) return from_settings(*render_settings(state));
    else return from_settings(*camera(render_settings(state)));
  }

 private:
  static ZR::SHADER::Render_settings* render_settings(ZR::SHADER::State* state) {
    auto* settings = state->get_render_settings();
    bridge::check::expect([&] { return settings != nullptr; }, Index, bridge::check::Finding::no_render_settings);
    return settings;
  }
  static ZR::SHADER::Camera_settings* camera(ZR::SHADER::Render_settings* settings) {
    auto* camera = settings->get_camera();
    bridge::check::expect([&] { return camera != nullptr; }, Index, bridge::check::Finding::no_camera);
    return camera;
  }

  static Value<R> from_int(int v) {
    if constexpr (R == Type::bool_) return {{static_cast<std::uint8_t>(v != 0)}};
    else return {{v}};
  }

  static Value<R> from_state(ZR::SHADER::State& s) {
    if constexpr (R == Type::float3) return std::bit_cast<Value<R>>(s.get_state_float3(Id));
    else if constexpr (R == Type::float2) return std::bit_cast<Value<R>>(s.get_state_float2(Id));
    else if constexpr (R == Type::float_) return {{s.get_state_float(Id)}};
    else return from_int(s.get_state_int(Id));
  }

  template <class Settings>
  static Value<R> from_settings(Settings& s) {
    if constexpr (R == Type::float2) return std::bit_cast<Value<R>>(s.get_float2(Id));
    else if constexpr (R == Type::float_) return {{s.get_float(Id)}};
    else return from_int(s.get_int(Id));
  }
};

}  // namespace kvx::shaders
