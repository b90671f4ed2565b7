#include <host/host.h>

#include <cmath>
#include <cstdarg>
#include <cstring>

#include <bridge/host_state.h>

namespace kvx::host {

namespace {
thread_local Host* current_host = nullptr;

template <class Map, class Key>
auto answer(Map const& map, Key key) {
  auto it = map.find(key);
  return it == map.end() ? typename Map::mapped_type{} : it->second;
}

// Black and white squares of a tenth of a unit along every coordinate given.
ZR::SHADER::Color checker(Call lookup, float const* coordinate) {
  int dimensions = lookup == Call::tex1d ? 1 : lookup == Call::tex2d ? 2 : 3;
  float sum = 0.0f;
  for (int i = 0; i < dimensions; ++i) sum += std::floor(coordinate[i] * 10.0f);
  float v = std::isfinite(sum) && std::fmod(sum, 2.0f) != 0.0f ? 1.0f : 0.0f;
  return {v, v, v, 1.0f};
}
}  // namespace

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

// Host_record

Host_record::Host_record(Host& host) {
  Host* owner = &host;
  std::memcpy(bytes_.data(), &owner, sizeof owner);  // offset 0: unused by the library
  void* settings = eval_settings_.data();
  host_record::write(bytes_.data(), host_record::eval_settings, settings);
}

Host& Host_record::owner(::Host_state* record) {
  return *host_record::read<Host*>(record, 0);
}

void Host_record::set_ray_type(int ray_type) { host_record::write(bytes_.data(), host_record::ray_type, ray_type); }
void Host_record::set_shadow_context(std::uint32_t context) {
  host_record::write(bytes_.data(), host_record::shadow_context, context);
}
void Host_record::set_normal(ZR::SHADER::Vector3 normal) { host_record::write(bytes_.data(), host_record::normal, normal); }
ZR::SHADER::Vector3 Host_record::normal() const {
  return host_record::read<ZR::SHADER::Vector3>(bytes_.data(), host_record::normal);
}
void Host_record::set_tag_offset(std::int32_t offset) {
  host_record::write(eval_settings_.data(), host_record::tag_offset, offset);
}
void Host_record::set_integer_tags(std::uint8_t value) {
  host_record::write(eval_settings_.data(), host_record::integer_tags, value);
}

// Host objects

class Camera_object final : public ZR::SHADER::Camera_settings {
 public:
  explicit Camera_object(Host& host) : host_(host) {}
  int get_int(int id) override { host_.enter(Call::camera_int, id); return answer(host_.camera_ints_, id); }
  float get_float(int id) override { host_.enter(Call::camera_float, id); return answer(host_.camera_floats_, id); }
  ZR::SHADER::Vector2 get_float2(int id) override {
    host_.enter(Call::camera_float2, id);
    return answer(host_.camera_float2s_, id);
  }

 private:
  Host& host_;
};

class Render_object final : public ZR::SHADER::Render_settings {
 public:
  Render_object(Host& host, Camera_object& camera) : host_(host), camera_(camera) {}
  int get_int(int id) override {
    host_.enter(Call::render_int, id);
    return answer(host_.render_ints_, id);
  }
  float get_float(int id) override {
    host_.enter(Call::render_float, id);
    return answer(host_.render_floats_, id);
  }
  ZR::SHADER::Camera_settings* get_camera() override { host_.enter(Call::camera); return &camera_; }

 private:
  Host& host_;
  Camera_object& camera_;
};

class State_object final : public ZR::SHADER::State {
 public:
  State_object(Host& host, Render_object& render) : host_(host), render_(render) {}
  int get_state_int(int id) override { host_.enter(Call::state_int, id); return answer(host_.ints_, id); }
  float get_state_float(int id) override { host_.enter(Call::state_float, id); return answer(host_.floats_, id); }
  ZR::SHADER::Vector2 get_state_float2(int id) override {
    host_.enter(Call::state_float2, id);
    return answer(host_.float2s_, id);
  }
  ZR::SHADER::Vector3 get_state_float3(int id) override {
    host_.enter(Call::state_float3, id);
    return answer(host_.float3s_, id);
  }
  ZR::SHADER::Vector4 get_state_float4(int id) override {
    host_.enter(Call::state_float4, id);
    return answer(host_.float4s_, id);
  }
  ZR::SHADER::Vector4 get_shadow_weight() override { host_.enter(Call::shadow_weight); return host_.shadow_weight_; }
  ZR::SHADER::Color lookup_tex1d(ZR::SHADER::Texture_handle t, float const* c) override { return lookup(Call::tex1d, t, c); }
  ZR::SHADER::Color lookup_tex2d(ZR::SHADER::Texture_handle t, float const* c) override { return lookup(Call::tex2d, t, c); }
  ZR::SHADER::Color lookup_tex3d(ZR::SHADER::Texture_handle t, float const* c) override { return lookup(Call::tex3d, t, c); }
  ZR::SHADER::Color lookup_texcube(ZR::SHADER::Texture_handle t, float const* c) override {
    return lookup(Call::texcube, t, c);
  }
  ZR::SHADER::Render_settings* get_render_settings() override { host_.enter(Call::render_settings); return &render_; }
  void release() override { host_.enter(Call::state_release); }
  ::Host_state* get_host_state() override { host_.enter(Call::host_state); return host_.evaluation_->get(); }
  ::Output_request_list* get_output_requests() override {
    host_.enter(Call::output_requests);
    return host_.output_requests_;
  }

 private:
  ZR::SHADER::Color lookup(Call call, ZR::SHADER::Texture_handle texture, float const* coordinate) {
    host_.enter(call, static_cast<int>(texture), coordinate);
    auto it = host_.textures_.find(texture);
    return it == host_.textures_.end() ? checker(call, coordinate) : it->second(call, coordinate);
  }
  Host& host_;
  Render_object& render_;
};

class Runtime_object final : public ZR::SHADER::Runtime_interface {
 public:
  Runtime_object(Host& host, State_object& state) : host_(host), state_(state) {}
  void release() override { host_.enter(Call::interface_release); }
  ZR::SHADER::State* get_state(::Host_state* record) override {
    host_.enter(Call::get_state, 0, record);
    return &state_;
  }

 private:
  Host& host_;
  State_object& state_;
};

struct Host::Objects {
  explicit Objects(Host& host) : camera(host), render(host, camera), state(host, render), runtime(host, state) {}
  Camera_object camera;
  Render_object render;
  State_object state;
  Runtime_object runtime;
};

// Host

Host::Host(std::size_t call_capacity) : objects_(new Objects(*this)), previous_(current_host) {
  calls_.reserve(call_capacity);
  current_host = this;
}

Host::~Host() {
  current_host = previous_;
  delete objects_;
}

ZR::SHADER::State* Host::state() { return &objects_->state; }
ZR::SHADER::Runtime_interface* Host::runtime() { return &objects_->runtime; }

std::size_t Host::count(Call call) const {
  std::size_t n = 0;
  for (auto const& r : calls_) n += r.call == call;
  return n;
}

void Host::fail_on(Call call, int nth) { failures_[static_cast<unsigned>(call)] = nth; }

void Host::enter(Call call, int id, void const* address, char const* name) {
  Record record{call, id, address, {}};
  if (name) std::strncpy(record.name.data(), name, record.name.size() - 1);
  if (recording_) calls_.push_back(record);
  if (observer_) observer_(record);
  int& countdown = failures_[static_cast<unsigned>(call)];
  if (countdown > 0 && --countdown == 0) throw Host_failure(call);
  if (fail_countdown_ > 0 && --fail_countdown_ == 0) throw Host_failure(call);
}

int Host::query(int code, ::Host_state* record, void* answer) {
  enter(Call::query, code, record);
  if (code == QUERY_GATHER_FLAG) std::memcpy(answer, &gather_flag_, sizeof gather_flag_);
  if (code == QUERY_INSTANCE_SLOT) {
    void** slot = instance_slot_available_ ? &instance_slot_ : nullptr;
    std::memcpy(answer, &slot, sizeof slot);
  }
  return 1;
}

// A connected parameter evaluates to its connection; any other to its slot.
void* Host::phen_eval(::Host_state* record, void* slot) {
  enter(Call::phen_eval, 0, slot);
  (void)record;
  if (evaluation_fails_) return nullptr;
  if (evaluator_)
    if (void* value = evaluator_(slot)) return value;
  auto it = connections_.find(slot);
  return it == connections_.end() ? slot : it->second.data();
}

int Host::shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode) {
  enter(Call::shaderstate_set, mode, record, key);
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

std::optional<std::vector<std::uint8_t>> Host::shader_state(std::string_view key) const {
  for (auto const& stored : shader_states_)
    if (stored.key[0] != 0 && key == stored.key.data())
      return std::vector<std::uint8_t>(stored.bytes.begin(), stored.bytes.begin() + stored.size);
  return std::nullopt;
}

// Block

Block& Block::set_bytes(std::string_view key, void const* bytes, std::size_t size) {
  auto& slot = values_[std::string(key)];
  slot.fill(0);
  std::memcpy(slot.data(), bytes, size < slot.size() ? size : slot.size());
  return *this;
}

void Block::erase(std::string_view key) {
  auto it = values_.find(key);
  if (it != values_.end()) values_.erase(it);
}

std::uint8_t* Block::find(std::string_view key) {
  auto it = values_.find(key);
  return it == values_.end() ? nullptr : it->second.data();
}

void* Block::lookup(char const* name) {
  if (host_) host_->enter(Call::lookup, 0, this, name);
  return find(name);
}

int Block::notify_output(char const* name) {
  if (host_) host_->enter(Call::notify_output, 0, this, name);
  return 1;
}

}  // namespace kvx::host

// The host's C functions, as the plug-in imports them.
extern "C" {

int zr_query(int code, Host_state* state, int zero, ...) {
  va_list arguments;
  va_start(arguments, zero);
  void* answer = va_arg(arguments, void*);
  va_end(arguments);
  return kvx::host::Host_record::owner(state).query(code, state, answer);
}

void* zr_phen_eval(Host_state* state, void* parameter) {
  return kvx::host::Host_record::owner(state).phen_eval(state, parameter);
}

int zr_shaderstate_set(Host_state* state, char const* key, void const* data, int size, int mode) {
  return kvx::host::Host_record::owner(state).shaderstate_set(state, key, data, size, mode);
}

ZR::SHADER::Runtime_interface* zr_get_korvex_interface(int version) {
  kvx::host::current_host->enter(kvx::host::Call::get_interface, version);
  return kvx::host::current_host->runtime();
}
}
