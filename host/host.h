// The reference host: a stand-in for the renderer that loads the plug-in.
//
// It implements the four host C functions and every host object the library
// calls, answers with values a test or tool sets, records every call the
// library makes in order, and can make any chosen call throw.
#pragma once

#include <array>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <bridge/host.h>

namespace kvx::host {

enum class Call : std::uint8_t {
  // C functions
  query, phen_eval, shaderstate_set, get_interface,
  // Runtime_interface
  interface_release, get_state,
  // State
  state_int, state_float, state_float2, state_float3, state_float4, shadow_weight,
  tex1d, tex2d, tex3d, texcube, render_settings, state_release, host_state, output_requests,
  // Render_settings, Camera_settings
  render_int, render_float, camera, camera_int, camera_float, camera_float2,
  // Data_block
  lookup, notify_output,
};
std::string_view name(Call call);

// One host call: which, the id or code it was asked, the address it was given
// (a parameter slot, a record) and the name or key it was given, if any.
struct Record {
  Call call;
  int id = 0;
  void const* address = nullptr;
  std::array<char, 24> name{};  // copied, truncated: recording never allocates

  std::string_view name_view() const { return {name.data()}; }
};

inline constexpr unsigned call_kinds = static_cast<unsigned>(Call::notify_output) + 1;

// Thrown by a host call chosen with fail_on. Allocates nothing, so tests can
// count what the library allocates while an exception passes.
struct Host_failure : std::exception {
  explicit Host_failure(Call c) : call(c) {}
  char const* what() const noexcept override { return "host call failed as asked"; }
  Call call;
};

class Host;

// The host's C shading-state record with its evaluation settings, as bytes with
// the fields where the library reads them.
class Host_record {
 public:
  explicit Host_record(Host& host);
  Host_record(Host_record const&) = delete;
  Host_record& operator=(Host_record const&) = delete;

  ::Host_state* get() { return reinterpret_cast<::Host_state*>(bytes_.data()); }
  static Host& owner(::Host_state* record);

  void set_ray_type(int ray_type);
  void set_shadow_context(std::uint32_t context);
  void set_normal(ZR::SHADER::Vector3 normal);
  ZR::SHADER::Vector3 normal() const;
  void set_tag_offset(std::int32_t offset);
  void set_integer_tags(std::uint8_t value);

 private:
  alignas(16) std::array<std::byte, 0x200> bytes_{};
  alignas(16) std::array<std::byte, 0x80> eval_settings_{};
};

class Host {
 public:
  // The newest live Host on this thread answers zr_get_korvex_interface.
  // Room for `call_capacity` records is reserved up front, so that recording
  // allocates nothing while the library runs. The default holds any one
  // evaluation many times over and stays cheap to make, which matters to tests
  // and fuzz targets that make a fresh host per evaluation.
  static constexpr std::size_t default_call_capacity = 1 << 10;
  explicit Host(std::size_t call_capacity = default_call_capacity);
  ~Host();
  Host(Host const&) = delete;
  Host& operator=(Host const&) = delete;

  // Calls, in the order the library made them.
  std::vector<Record> const& calls() const { return calls_; }
  std::size_t count(Call call) const;
  void clear_calls() { calls_.clear(); }
  // The nth call of this kind from now on throws Host_failure (before it acts).
  void fail_on(Call call, int nth = 1);
  // The nth call of any kind from now on throws Host_failure.
  void fail_at(int nth) { fail_countdown_ = nth; }
  // Runs at every call, after it is recorded and before it acts or throws.
  void on_call(std::function<void(Record const&)> observer) { observer_ = std::move(observer); }
  // Off: calls are no longer recorded (a render makes millions).
  void set_recording(bool on) { recording_ = on; }

  // The record handed to the C entry, and the one State get_host_state returns
  // (the same one unless separate_evaluation_record is called).
  Host_record& record() { return record_; }
  Host_record& evaluation_record() { return *evaluation_; }
  void separate_evaluation_record() { evaluation_ = &second_record_; }

  // State answers by id; unset ids answer zero.
  void set_int(int id, int value) { ints_[id] = value; }
  void set_float(int id, float value) { floats_[id] = value; }
  void set_float2(int id, ZR::SHADER::Vector2 v) { float2s_[id] = v; }
  void set_float3(int id, ZR::SHADER::Vector3 v) { float3s_[id] = v; }
  void set_float4(int id, ZR::SHADER::Vector4 v) { float4s_[id] = v; }
  void set_shadow_weight(ZR::SHADER::Vector4 w) { shadow_weight_ = w; }
  void set_render_int(int id, int value) { render_ints_[id] = value; }
  void set_render_float(int id, float value) { render_floats_[id] = value; }
  void set_camera_int(int id, int value) { camera_ints_[id] = value; }
  void set_camera_float(int id, float value) { camera_floats_[id] = value; }
  void set_camera_float2(int id, ZR::SHADER::Vector2 v) { camera_float2s_[id] = v; }

  // Host-side textures by handle. `lookup` says which lookup asked, and so how
  // many coordinate floats there are (1, 2, or 3 for 3-D and cube lookups).
  // Unknown handles answer a procedural checker.
  using Texture = std::function<ZR::SHADER::Color(Call lookup, float const* coordinate)>;
  void set_texture(ZR::SHADER::Texture_handle handle, Texture texture) { textures_[handle] = std::move(texture); }

  // zr_phen_eval: the value a connected parameter at `slot` evaluates to.
  void connect(void const* slot, std::array<std::uint8_t, 16> value) { connections_[slot] = value; }
  // zr_phen_eval asks this first; a null answer falls back to connect().
  using Evaluator = std::function<void*(void* slot)>;
  void set_evaluator(Evaluator evaluator) { evaluator_ = std::move(evaluator); }

  // zr_query answers. Without an instance slot, code 51 answers null.
  void set_gather_flag(std::uint32_t flag) { gather_flag_ = flag; }
  void set_instance_slot_available(bool available) { instance_slot_available_ = available; }
  // A host that cannot evaluate a connection: zr_phen_eval answers null.
  void set_evaluation_fails(bool fails) { evaluation_fails_ = fails; }
  void*& instance_slot() { return instance_slot_; }

  // What zr_shaderstate_set stored last under key, or nothing.
  std::optional<std::vector<std::uint8_t>> shader_state(std::string_view key) const;

  void set_output_requests(::Output_request_list* list) { output_requests_ = list; }

  ZR::SHADER::State* state();
  ZR::SHADER::Runtime_interface* runtime();

  // Entry points of the host's C functions.
  int query(int code, ::Host_state* record, void* answer);
  void* phen_eval(::Host_state* record, void* slot);
  int shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode);

  // Records a call, throwing first if it was chosen to fail.
  void enter(Call call, int id = 0, void const* address = nullptr, char const* name = nullptr);

 private:
  friend class State_object;
  friend class Render_object;
  friend class Camera_object;

  std::vector<Record> calls_;
  std::array<int, call_kinds> failures_{};  // countdown per call kind; 0: never fail
  int fail_countdown_ = 0;
  bool recording_ = true;
  bool instance_slot_available_ = true;
  bool evaluation_fails_ = false;
  Evaluator evaluator_;
  std::function<void(Record const&)> observer_;

  Host_record record_{*this};
  Host_record second_record_{*this};
  Host_record* evaluation_ = &record_;

  std::map<int, int> ints_;
  std::map<int, float> floats_;
  std::map<int, ZR::SHADER::Vector2> float2s_;
  std::map<int, ZR::SHADER::Vector3> float3s_;
  std::map<int, ZR::SHADER::Vector4> float4s_;
  ZR::SHADER::Vector4 shadow_weight_{1, 1, 1, 1};
  std::map<int, int> render_ints_;
  std::map<int, float> render_floats_;
  std::map<int, int> camera_ints_;
  std::map<int, float> camera_floats_;
  std::map<int, ZR::SHADER::Vector2> camera_float2s_;
  std::map<ZR::SHADER::Texture_handle, Texture> textures_;
  std::map<void const*, std::array<std::uint8_t, 16>> connections_;
  std::uint32_t gather_flag_ = 0;
  void* instance_slot_ = nullptr;
  // A few keys, stored in place: answering a call allocates nothing.
  struct Stored_state {
    std::array<char, 32> key{};
    std::array<std::uint8_t, 64> bytes{};
    std::size_t size = 0;
  };
  std::array<Stored_state, 8> shader_states_{};
  ::Output_request_list* output_requests_ = nullptr;

  struct Objects;
  Objects* objects_;
  Host* previous_;
};

// A data block: named values at stable addresses, 16 bytes of room each.
class Block final : public ZR::SHADER::Data_block {
 public:
  explicit Block(Host* host = nullptr) : host_(host) {}

  template <class T>
  Block& set(std::string_view key, T const& value) {
    static_assert(sizeof(T) <= 16);
    auto& slot = values_[std::string(key)];
    slot.fill(0);
    std::memcpy(slot.data(), &value, sizeof value);
    return *this;
  }
  Block& set_bytes(std::string_view key, void const* bytes, std::size_t size);
  Block& add_result() { values_["result"].fill(0); return *this; }
  void erase(std::string_view key);
  // The bytes stored under key; null when absent.
  std::uint8_t* find(std::string_view key);
  template <class T>
  T get(std::string_view key) {
    T value{};
    if (auto* at = find(key)) std::memcpy(&value, at, sizeof value);
    return value;
  }

  void* lookup(char const* name) override;
  int notify_output(char const* name) override;

 private:
  Host* host_;
  std::map<std::string, std::array<std::uint8_t, 16>, std::less<>> values_;
};

}  // namespace kvx::host
