// SPDX-License-Identifier: Apache-2.0
#include <host/reference_host.h>

#include <cmath>
#include <cstring>

#include <bridge/interface/host_state.h>

namespace kvx::host {

namespace {

// Black and white squares of a tenth of a unit along every coordinate given.
ZR::SHADER::Color checker(Lookup lookup, float const* coordinate) {
  float sum = 0.0f;
  for (unsigned i = 0; i < dimensions(lookup); ++i) sum += std::floor(coordinate[i] * 10.0f);
  // An odd sum of whole numbers: sum - 2 floor(sum / 2) is exactly 1.
  float v = std::isfinite(sum) && sum - 2.0f * std::floor(0.5f * sum) != 0.0f ? 1.0f : 0.0f;
  return {v, v, v, 1.0f};
}

}  // namespace

// Host_state_record

Host_state_record::Host_state_record(Reference_host& host) {
  Reference_host* owner = &host;
  std::memcpy(bytes_.data(), &owner, sizeof owner);
  void* settings = eval_settings_.data();
  bridge::record_field::write(bytes_.data(), bridge::record_field::eval_settings, settings);
}

// Host objects

int Camera_object::get_int(int id) { return host_.camera_int(id); }
float Camera_object::get_float(int id) { return host_.camera_float(id); }
ZR::SHADER::Vector2 Camera_object::get_float2(int id) { return host_.camera_float2(id); }

int Render_object::get_int(int id) { return host_.render_int(id); }
float Render_object::get_float(int id) { return host_.render_float(id); }

int State_object::get_state_int(int id) { return host_.state_int(id); }
float State_object::get_state_float(int id) { return host_.state_float(id); }
ZR::SHADER::Vector2 State_object::get_state_float2(int id) { return host_.state_float2(id); }
ZR::SHADER::Vector3 State_object::get_state_float3(int id) { return host_.state_float3(id); }
ZR::SHADER::Vector4 State_object::get_state_float4(int id) { return host_.state_float4(id); }
ZR::SHADER::Vector4 State_object::get_shadow_weight() { return host_.shadow_weight(); }
ZR::SHADER::Color State_object::lookup_tex1d(ZR::SHADER::Texture_handle t, float const* c) {
  return host_.texture(Lookup::tex1d, t, c);
}
ZR::SHADER::Color State_object::lookup_tex2d(ZR::SHADER::Texture_handle t, float const* c) {
  return host_.texture(Lookup::tex2d, t, c);
}
ZR::SHADER::Color State_object::lookup_tex3d(ZR::SHADER::Texture_handle t, float const* c) {
  return host_.texture(Lookup::tex3d, t, c);
}
ZR::SHADER::Color State_object::lookup_texcube(ZR::SHADER::Texture_handle t, float const* c) {
  return host_.texture(Lookup::texcube, t, c);
}
::Host_state* State_object::get_host_state() { return host_.record().get(); }
::Output_request_list* State_object::get_output_requests() { return host_.output_requests(); }

// Reference_host

constinit thread_local Reference_host* Reference_host::current_ = nullptr;

constinit Runtime_object Reference_host::runtime_;
constinit std::atomic<int> Reference_host::watched_{0};

Reference_host::Reference_host() : previous_(current_) {
  current_ = this;
  record_.set_state(&state_);
}

Reference_host::~Reference_host() { current_ = previous_; }

ZR::SHADER::Color Reference_host::texture(Lookup lookup, ZR::SHADER::Texture_handle handle,
                                          float const* coordinate) const {
  for (auto const& [known, answer] : textures_)
    if (known == handle) return answer(lookup, coordinate);
  return checker(lookup, coordinate);
}

void Reference_host::set_texture(ZR::SHADER::Texture_handle handle, Texture texture) {
  for (auto& [known, answer] : textures_)
    if (known == handle) {
      answer = std::move(texture);
      return;
    }
  textures_.emplace_back(handle, std::move(texture));
}

void* Reference_host::connection(void* slot) const {
  auto it = connections_.find(slot);
  return it == connections_.end() ? slot : const_cast<std::uint8_t*>(it->second.data());
}

int Reference_host::shaderstate_set(::Host_state*, char const* key, void const* data, int size, int) {
  std::string_view const name(key);
  for (auto& stored : shader_states_) {
    if (stored.key[0] != 0 && name != stored.key.data()) continue;
    if (name.size() >= stored.key.size() || size < 0 || std::size_t(size) > stored.bytes.size()) return 0;
    std::memcpy(stored.key.data(), name.data(), name.size());
    std::memcpy(stored.bytes.data(), data, static_cast<std::size_t>(size));
    stored.size = static_cast<std::size_t>(size);
    return 1;
  }
  return 0;
}

std::optional<std::vector<std::uint8_t>> Reference_host::shader_state(std::string_view key) const {
  for (auto const& stored : shader_states_)
    if (stored.key[0] != 0 && key == stored.key.data())
      return std::vector<std::uint8_t>(stored.bytes.begin(), stored.bytes.begin() + stored.size);
  return std::nullopt;
}

}  // namespace kvx::host
