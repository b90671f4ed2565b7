// SPDX-License-Identifier: Apache-2.0
// The reference host: a stand-in for the renderer that loads the plug-in, and
// the worked example of what a renderer provides (docs/host-interface.md).
//
// It defines the four host C functions (host_functions.cpp) and every host
// object the library calls, and answers with the values its user sets. It
// does only what the interface asks. The tests' host derives from it to
// record calls and to fail on demand.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include <bridge/interface/interface.h>
#include <bridge/interface/host_state.h>
#include <catalogue/types.h>

namespace kvx::host {

class Reference_host;

// What the four host C functions do, for a host that watches them (the
// tests' host records every call and fails on demand): the reference host's
// functions hand each call to the record's watcher when it has one, and
// answer it themselves otherwise.
class Host_calls {
 public:
  virtual ZR::SHADER::Runtime_interface* get_korvex_interface(int version) = 0;
  virtual int query(int code, ::Host_state* record, void* answer) = 0;
  virtual void* phen_eval(::Host_state* record, void* slot) = 0;
  virtual int shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode) = 0;

 protected:
  ~Host_calls() = default;
};

// The host's C shading-state record with its evaluation settings, as bytes
// with the fields where the library reads them, and after them what the host
// keeps of its own: the answers to zr_query. Its first word, which the
// library never reads, names the Reference_host that owns it: the host's C
// functions find their Reference_host from the record they are given.
class Host_state_record {
 public:
  explicit Host_state_record(Reference_host& host);
  Host_state_record(Host_state_record const&) = delete;
  Host_state_record& operator=(Host_state_record const&) = delete;

  // The record begins with the library's bytes, so a Host_state* is its address.
  ::Host_state* get() { return reinterpret_cast<::Host_state*>(this); }
  static Host_state_record& of(::Host_state* record) { return *reinterpret_cast<Host_state_record*>(record); }
  static Reference_host& owner(::Host_state* record) { return *bridge::record_field::read<Reference_host*>(record, 0); }

  // zr_query: whether the call gathers (QUERY_GATHER_FLAG), and the address
  // of the evaluated instance's own slot (QUERY_INSTANCE_SLOT).
  int query(int code, void* answer) {
    if (code == QUERY_INSTANCE_SLOT) {
      void** slot = &instance_slot_;
      std::memcpy(answer, &slot, sizeof slot);
    } else if (code == QUERY_GATHER_FLAG) {
      std::memcpy(answer, &gather_flag_, sizeof gather_flag_);
    }
    return 1;
  }
  void set_gather_flag(std::uint32_t flag) { gather_flag_ = flag; }
  void*& instance_slot() { return instance_slot_; }

  // Who watches the host functions' calls with this record, or null.
  Host_calls* watcher() const { return watcher_; }
  void set_watcher(Host_calls* watcher) { watcher_ = watcher; }

  // The State that the runtime interface answers for this record.
  ZR::SHADER::State* state() const { return state_; }
  void set_state(ZR::SHADER::State* state) { state_ = state; }

  void set_ray_type(int ray_type) {
    bridge::record_field::write(bytes_.data(), bridge::record_field::ray_type, ray_type);
  }
  void set_shadow_context(std::uint32_t context) {
    bridge::record_field::write(bytes_.data(), bridge::record_field::shadow_context, context);
  }
  void set_normal(ZR::SHADER::Vector3 normal) {
    bridge::record_field::write(bytes_.data(), bridge::record_field::normal, normal);
  }
  ZR::SHADER::Vector3 normal() const {
    return bridge::record_field::read<ZR::SHADER::Vector3>(bytes_.data(), bridge::record_field::normal);
  }
  void set_tag_offset(std::int32_t offset) {
    bridge::record_field::write(eval_settings_.data(), bridge::record_field::tag_offset, offset);
  }
  void set_integer_tags(std::uint8_t value) {
    bridge::record_field::write(eval_settings_.data(), bridge::record_field::integer_tags, value);
  }

 private:
  alignas(16) std::array<std::byte, 0x200> bytes_{};
  alignas(16) std::array<std::byte, 0x80> eval_settings_{};
  std::uint32_t gather_flag_ = 0;
  void* instance_slot_ = nullptr;
  ZR::SHADER::State* state_ = nullptr;
  Host_calls* watcher_ = nullptr;
};
static_assert(std::is_standard_layout_v<Host_state_record>);

// Which texture lookup a texture answers: it says how many coordinate floats
// there are (1, 2, or 3 for 3-D and cube lookups).
enum class Lookup : std::uint8_t { tex1d, tex2d, tex3d, texcube };
constexpr unsigned dimensions(Lookup lookup) {
  return lookup == Lookup::tex1d ? 1 : lookup == Lookup::tex2d ? 2 : 3;
}

// The host objects, each answering from its Reference_host's values. They can be
// derived from: the tests' host records each call before it answers.
class Camera_object : public ZR::SHADER::Camera_settings {
 public:
  explicit Camera_object(Reference_host& host) : host_(host) {}
  int get_int(int id) override;
  float get_float(int id) override;
  ZR::SHADER::Vector2 get_float2(int id) override;

 protected:
  Reference_host& host_;
};

class Render_object : public ZR::SHADER::Render_settings {
 public:
  Render_object(Reference_host& host, ZR::SHADER::Camera_settings& camera) : host_(host), camera_(camera) {}
  int get_int(int id) override;
  float get_float(int id) override;
  ZR::SHADER::Camera_settings* get_camera() override { return &camera_; }

 protected:
  Reference_host& host_;
  ZR::SHADER::Camera_settings& camera_;
};

class State_object : public ZR::SHADER::State {
 public:
  State_object(Reference_host& host, ZR::SHADER::Render_settings& render) : host_(host), render_(render) {}
  int get_state_int(int id) override;
  float get_state_float(int id) override;
  ZR::SHADER::Vector2 get_state_float2(int id) override;
  ZR::SHADER::Vector3 get_state_float3(int id) override;
  ZR::SHADER::Vector4 get_state_float4(int id) override;
  ZR::SHADER::Vector4 get_shadow_weight() override;
  ZR::SHADER::Color lookup_tex1d(ZR::SHADER::Texture_handle t, float const* c) override;
  ZR::SHADER::Color lookup_tex2d(ZR::SHADER::Texture_handle t, float const* c) override;
  ZR::SHADER::Color lookup_tex3d(ZR::SHADER::Texture_handle t, float const* c) override;
  ZR::SHADER::Color lookup_texcube(ZR::SHADER::Texture_handle t, float const* c) override;
  ZR::SHADER::Render_settings* get_render_settings() override { return &render_; }
  void release() override {}
  ::Host_state* get_host_state() override;
  ::Output_request_list* get_output_requests() override;

 protected:
  Reference_host& host_;
  ZR::SHADER::Render_settings& render_;
};

// What zr_get_korvex_interface answers: one for the process, as it holds
// nothing of its own; the State it gives is the one the record names.
class Runtime_object : public ZR::SHADER::Runtime_interface {
 public:
  void release() override {}
  ZR::SHADER::State* get_state(::Host_state* record) override { return Host_state_record::of(record).state(); }
};

// What a host object answers, by id: the ids the State_ shaders read (all
// under 64) held in place, any other id a host is asked for in a map. Unset
// ids answer zero.
template <class T>
class Answers {
 public:
  T get(int id) const {
    if (id >= 0 && id < in_place) return near_[static_cast<std::size_t>(id)];
    auto it = far_.find(id);
    return it == far_.end() ? T{} : it->second;
  }
  void set(int id, T value) {
    if (id >= 0 && id < in_place)
      near_[static_cast<std::size_t>(id)] = value;
    else
      far_[id] = value;
  }

 private:
  static constexpr int in_place = 64;
  std::array<T, in_place> near_{};
  std::map<int, T> far_;
};

class Reference_host {
 public:
  // The newest live Reference_host on this thread is current(): how host
  // functions that are given no record, as the tests' own, find one.
  Reference_host();
  virtual ~Reference_host();
  Reference_host(Reference_host const&) = delete;
  Reference_host& operator=(Reference_host const&) = delete;

  // The record handed to the C entry, which get_host_state also returns.
  Host_state_record& record() { return record_; }

  // State answers by id; unset ids answer zero.
  void set_int(int id, int value) { ints_.set(id, value); }
  void set_float(int id, float value) { floats_.set(id, value); }
  void set_float2(int id, ZR::SHADER::Vector2 v) { float2s_.set(id, v); }
  void set_float3(int id, ZR::SHADER::Vector3 v) { float3s_.set(id, v); }
  void set_float4(int id, ZR::SHADER::Vector4 v) { float4s_.set(id, v); }
  void set_shadow_weight(ZR::SHADER::Vector4 w) { shadow_weight_ = w; }
  void set_render_int(int id, int value) { render_ints_.set(id, value); }
  void set_render_float(int id, float value) { render_floats_.set(id, value); }
  void set_camera_int(int id, int value) { camera_ints_.set(id, value); }
  void set_camera_float(int id, float value) { camera_floats_.set(id, value); }
  void set_camera_float2(int id, ZR::SHADER::Vector2 v) { camera_float2s_.set(id, v); }

  // Host-side textures by handle. Unknown handles answer a procedural checker.
  using Texture = std::function<ZR::SHADER::Color(Lookup lookup, float const* coordinate)>;
  void set_texture(ZR::SHADER::Texture_handle handle, Texture texture);

  // zr_phen_eval: the value a connected parameter at `slot` evaluates to.
  void connect(void const* slot, catalogue::Value_bytes value) { connections_[slot] = value; }
  // How a network answers instead, for every connection at once: a connected
  // parameter's slot holds a 32-bit index into `values`, the addresses where
  // the values lie.
  void answer_connections(std::span<void* const> values) { connection_values_ = values; }

  // zr_query answers.
  void set_gather_flag(std::uint32_t flag) { record_.set_gather_flag(flag); }
  void*& instance_slot() { return record_.instance_slot(); }

  // What zr_shaderstate_set stored last under key, or nothing.
  std::optional<std::vector<std::uint8_t>> shader_state(std::string_view key) const;

  void set_output_requests(::Output_request_list* list) { output_requests_ = list; }

  // What the host objects answer.
  int state_int(int id) const { return ints_.get(id); }
  float state_float(int id) const { return floats_.get(id); }
  ZR::SHADER::Vector2 state_float2(int id) const { return float2s_.get(id); }
  ZR::SHADER::Vector3 state_float3(int id) const { return float3s_.get(id); }
  ZR::SHADER::Vector4 state_float4(int id) const { return float4s_.get(id); }
  ZR::SHADER::Vector4 shadow_weight() const { return shadow_weight_; }
  ZR::SHADER::Color texture(Lookup lookup, ZR::SHADER::Texture_handle handle, float const* coordinate) const;
  int render_int(int id) const { return render_ints_.get(id); }
  float render_float(int id) const { return render_floats_.get(id); }
  int camera_int(int id) const { return camera_ints_.get(id); }
  float camera_float(int id) const { return camera_floats_.get(id); }
  ZR::SHADER::Vector2 camera_float2(int id) const { return camera_float2s_.get(id); }
  ::Output_request_list* output_requests() const { return output_requests_; }

  // The State handed to shader objects' main.
  virtual ZR::SHADER::State* state() { return &state_; }

  // Where the host's C functions arrive (host_functions.cpp) when no watcher
  // takes them: the runtime interface, the two queries' answers, a
  // parameter's value, a stored state.
  static ZR::SHADER::Runtime_interface* get_korvex_interface(int) { return &runtime_; }
  static int query(int code, ::Host_state* record, void* answer) {
    return Host_state_record::of(record).query(code, answer);
  }
  // A connected parameter evaluates to what its index in the table of
  // answer_connections gives, or else connect(); any other to its slot.
  void* phen_eval(::Host_state*, void* slot) {
    std::uint32_t index;
    std::memcpy(&index, slot, sizeof index);
    if (index < connection_values_.size()) [[likely]] return connection_values_[index];
    return connection(slot);
  }
  int shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode);
  // The newest live Reference_host on this thread.
  static Reference_host& current() { return *current_; }
  // Whether any host of the process has a watcher: zr_get_korvex_interface,
  // given no record, then asks the current host's.
  static bool watched() { return watched_.load(std::memory_order_relaxed) != 0; }

 protected:
  // Hands the calls with this host's records to `watcher`, for as long as it lives.
  void watch(Host_calls* watcher, Host_state_record& record) {
    record.set_watcher(watcher);
    watched_.fetch_add(1, std::memory_order_relaxed);
  }
  void unwatch(Host_state_record& record) {
    record.set_watcher(nullptr);
    watched_.fetch_sub(1, std::memory_order_relaxed);
  }

 private:
  void* connection(void* slot) const;

  Host_state_record record_{*this};

  Answers<int> ints_;
  Answers<float> floats_;
  Answers<ZR::SHADER::Vector2> float2s_;
  Answers<ZR::SHADER::Vector3> float3s_;
  Answers<ZR::SHADER::Vector4> float4s_;
  ZR::SHADER::Vector4 shadow_weight_{1, 1, 1, 1};
  Answers<int> render_ints_;
  Answers<float> render_floats_;
  Answers<int> camera_ints_;
  Answers<float> camera_floats_;
  Answers<ZR::SHADER::Vector2> camera_float2s_;
  // A scene has a handful: a walk over them beats any search structure.
  std::vector<std::pair<ZR::SHADER::Texture_handle, Texture>> textures_;
  std::map<void const*, catalogue::Value_bytes> connections_;
  std::span<void* const> connection_values_;
  // A few keys, stored in place: answering a call allocates nothing.
  struct Stored_state {
    std::array<char, 32> key{};
    std::array<std::uint8_t, 64> bytes{};
    std::size_t size = 0;
  };
  std::array<Stored_state, 8> shader_states_{};
  ::Output_request_list* output_requests_ = nullptr;

  Camera_object camera_{*this};
  Render_object render_{*this, camera_};
  State_object state_{*this, render_};
  static constinit Runtime_object runtime_;
  Reference_host* previous_;
  static constinit thread_local Reference_host* current_;
  static constinit std::atomic<int> watched_;
};

}  // namespace kvx::host
