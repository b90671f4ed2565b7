// SPDX-License-Identifier: Apache-2.0
#include "test_host.h"

#include <cstring>
#include <memory>

namespace kvx::test {

std::string_view name(Call call) {
  constexpr std::string_view names[] = {
      "zr_query", "zr_phen_eval", "zr_shaderstate_set", "zr_get_korvex_interface",
      "Runtime_interface::release", "Runtime_interface::get_state",
      "State::get_state_int", "State::get_state_float", "State::get_state_float2",
      "State::get_state_float3", "State::get_state_float4", "State::get_shadow_weight",
      "State::lookup_tex1d", "State::lookup_tex2d", "State::lookup_tex3d", "State::lookup_texcube",
      "State::get_render_settings", "State::release", "State::get_host_state",
      "State::get_output_requests", "Render_settings::get_int", "Render_settings::get_float",
      "Render_settings::get_camera", "Camera_settings::get_int", "Camera_settings::get_float",
      "Camera_settings::get_float2", "Data_block::lookup", "Data_block::notify_output"};
  return names[static_cast<unsigned>(call)];
}

// The reference host's objects, each call recorded before it answers.

struct Recording_host::Camera final : host::Camera_object {
  Camera(Recording_host& host) : Camera_object(host), test(host) {}
  int get_int(int id) override { test.record_call(Call::camera_int, id); return Camera_object::get_int(id); }
  float get_float(int id) override { test.record_call(Call::camera_float, id); return Camera_object::get_float(id); }
  ZR::SHADER::Vector2 get_float2(int id) override {
    test.record_call(Call::camera_float2, id);
    return Camera_object::get_float2(id);
  }
  Recording_host& test;
};

struct Recording_host::Render final : host::Render_object {
  Render(Recording_host& host, Camera& camera) : Render_object(host, camera), test(host) {}
  int get_int(int id) override { test.record_call(Call::render_int, id); return Render_object::get_int(id); }
  float get_float(int id) override { test.record_call(Call::render_float, id); return Render_object::get_float(id); }
  ZR::SHADER::Camera_settings* get_camera() override {
    test.record_call(Call::camera);
    return test.answers_null(Call::camera) ? nullptr : Render_object::get_camera();
  }
  Recording_host& test;
};

struct Recording_host::State final : host::State_object {
  State(Recording_host& host, Render& render) : State_object(host, render), test(host) {}
  int get_state_int(int id) override { test.record_call(Call::state_int, id); return State_object::get_state_int(id); }
  float get_state_float(int id) override {
    test.record_call(Call::state_float, id);
    return State_object::get_state_float(id);
  }
  ZR::SHADER::Vector2 get_state_float2(int id) override {
    test.record_call(Call::state_float2, id);
    return State_object::get_state_float2(id);
  }
  ZR::SHADER::Vector3 get_state_float3(int id) override {
    test.record_call(Call::state_float3, id);
    return State_object::get_state_float3(id);
  }
  ZR::SHADER::Vector4 get_state_float4(int id) override {
    test.record_call(Call::state_float4, id);
    return State_object::get_state_float4(id);
  }
  ZR::SHADER::Vector4 get_shadow_weight() override {
    test.record_call(Call::shadow_weight);
    return State_object::get_shadow_weight();
  }
  ZR::SHADER::Color lookup_tex1d(ZR::SHADER::Texture_handle t, float const* c) override {
    test.record_call(Call::tex1d, static_cast<int>(t), c);
    return State_object::lookup_tex1d(t, c);
  }
  ZR::SHADER::Color lookup_tex2d(ZR::SHADER::Texture_handle t, float const* c) override {
    test.record_call(Call::tex2d, static_cast<int>(t), c);
    return State_object::lookup_tex2d(t, c);
  }
  ZR::SHADER::Color lookup_tex3d(ZR::SHADER::Texture_handle t, float const* c) override {
    test.record_call(Call::tex3d, static_cast<int>(t), c);
    return State_object::lookup_tex3d(t, c);
  }
  ZR::SHADER::Color lookup_texcube(ZR::SHADER::Texture_handle t, float const* c) override {
    test.record_call(Call::texcube, static_cast<int>(t), c);
    return State_object::lookup_texcube(t, c);
  }
  ZR::SHADER::Render_settings* get_render_settings() override {
    test.record_call(Call::render_settings);
    return test.answers_null(Call::render_settings) ? nullptr : State_object::get_render_settings();
  }
  void release() override { test.record_call(Call::state_release); }
  ::Host_state* get_host_state() override {
    test.record_call(Call::host_state);
    return test.answers_null(Call::host_state) ? nullptr : test.evaluation_record().get();
  }
  ::Output_request_list* get_output_requests() override {
    test.record_call(Call::output_requests);
    return State_object::get_output_requests();
  }
  Recording_host& test;
};

struct Recording_host::Runtime final : host::Runtime_object {
  explicit Runtime(Recording_host& host) : test(host) {}
  void release() override { test.record_call(Call::interface_release); }
  ZR::SHADER::State* get_state(::Host_state* record) override {
    test.record_call(Call::get_state, 0, record);
    return test.answers_null(Call::get_state) ? nullptr : Runtime_object::get_state(record);
  }
  Recording_host& test;
};

struct Recording_host::Objects {
  explicit Objects(Recording_host& host)
      : camera(host), render(host, camera), state(host, render), runtime(host) {}
  Camera camera;
  Render render;
  State state;
  Runtime runtime;
};

// Recording_host

Recording_host::Recording_host(std::size_t call_capacity) : objects_(std::make_shared<Objects>(*this)) {
  calls_.reserve(call_capacity);
  record().set_state(&objects_->state);
  second_record_.set_state(&objects_->state);
  watch(this, record());
  watch(this, second_record_);
}

Recording_host::~Recording_host() {
  unwatch(record());
  unwatch(second_record_);
}

std::size_t Recording_host::count(Call call) const {
  std::size_t n = 0;
  for (auto const& r : calls_) n += r.call == call;
  return n;
}

void Recording_host::record_call(Call call, int id, void const* address, char const* name) {
  Call_record record{call, id, address, {}};
  if (name) std::strncpy(record.name.data(), name, record.name.size() - 1);
  if (recording_) calls_.push_back(record);
  if (observer_) observer_(record);
  int& countdown = failures_[static_cast<unsigned>(call)];
  if (countdown > 0 && --countdown == 0) throw Host_failure(call);
  if (fail_countdown_ > 0 && --fail_countdown_ == 0) throw Host_failure(call);
}

ZR::SHADER::State* Recording_host::state() { return &objects_->state; }

ZR::SHADER::Runtime_interface* Recording_host::get_korvex_interface(int version) {
  record_call(Call::get_interface, version);
  return answers_null(Call::get_interface) ? nullptr : &objects_->runtime;
}

int Recording_host::query(int code, ::Host_state* record, void* answer) {
  record_call(Call::query, code, record);
  if (code == unanswered_query_) return 1;
  if (code == QUERY_INSTANCE_SLOT && !instance_slot_available_) {
    void* none = nullptr;
    std::memcpy(answer, &none, sizeof none);
    return 1;
  }
  return host::Host_state_record::of(record).query(code, answer);
}

void* Recording_host::phen_eval(::Host_state* record, void* slot) {
  record_call(Call::phen_eval, 0, slot);
  return evaluation_fails_ ? nullptr : host::Reference_host::phen_eval(record, slot);
}

int Recording_host::shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode) {
  record_call(Call::shaderstate_set, mode, record, key);
  return host::Reference_host::shaderstate_set(record, key, data, size, mode);
}

// Block

void* Block::lookup(char const* name) {
  if (host_) host_->record_call(Call::lookup, 0, this, name);
  return host::Block::lookup(name);
}

int Block::notify_output(char const* name) {
  if (host_) host_->record_call(Call::notify_output, 0, this, name);
  return host::Block::notify_output(name);
}

}  // namespace kvx::test
