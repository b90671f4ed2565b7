// SPDX-License-Identifier: Apache-2.0
// A host written in C++ for the kvx base shaders. It loads the plug-in with
// dlopen, exports the four functions the plug-in imports, implements the host
// objects by deriving from the interface's classes, and evaluates through
// both interfaces, printing each result as `kvx-host eval` prints it:
//
//   Math_float_add       the C entry, constant parameters: 1.5 + 2.25
//   Math_float_sin       the C entry, a parameter connected to another node's
//                        value (0.5), asked for through zr_phen_eval
//   State_parametric_uv  the C entry, a read-out of the renderer's state
//   Math_float_multiply  a shader object of the C++ interface: 1.5 * 2.25
//
// Built with CMake against the installed package (CMakeLists.txt beside it):
//
//   cmake -S . -B build && cmake --build build && build/host
//
// The steps named below are those of the integrator's guide,
// docs/host-interface.md.
#include <dlfcn.h>

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include <kvx_base/bridge/interface/c_entries.h>
#include <kvx_base/bridge/interface/host_state.h>
#include <kvx_base/bridge/interface/interface.h>
#include <kvx_base/catalogue/catalogue.h>
#include <kvx_base/plugin/objects/plugin.h>
#include <kvx_base/bridge/interface/versions.h>

namespace {

namespace field = kvx::bridge::record_field;

// ---- The host's records and its one instance at a time

// An instance of a shader: its C parameter block, tags `tag_offset` bytes
// after their slots (the host's choice, said in Eval_settings), and the slot
// the library keeps its record in (zr_query 51).
constexpr std::int32_t tag_offset = 64;
struct Instance {
  std::array<unsigned char, 2 * tag_offset> block{};
  void* slot = nullptr;

  void set(kvx::catalogue::Parameter const& p, float value, std::uint32_t tag) {
    std::memcpy(block.data() + p.offset, &value, sizeof value);
    std::memcpy(block.data() + p.offset + tag_offset, &tag, sizeof tag);
  }
};

// The library reads its fields at their offsets (bridge/interface/host_state.h); the
// host keeps what it likes beside them: here, which instance is evaluated.
struct Record {
  alignas(8) std::array<unsigned char, 0x140> fields{};
  Instance* instance = nullptr;
  Host_state* get() { return reinterpret_cast<Host_state*>(this); }
  static Record& of(Host_state* state) { return *reinterpret_cast<Record*>(state); }
};
std::array<unsigned char, 0x70> settings{};
Record record;

// A connection's tag is the host's own handle for it: any value but 0 and
// 0xFFFFFFFE. Here: an index into values other nodes computed.
std::array<float, 1> connected_values{0.5f};
constexpr std::uint32_t first_connection = 1;

// ---- The host objects (from step 6 of docs/host-interface.md)

class State final : public ZR::SHADER::State {
 public:
  int get_state_int(int) override { return 0; }
  float get_state_float(int) override { return 0.0f; }
  ZR::SHADER::Vector2 get_state_float2(int id) override {
    return id == kvx::catalogue::state_id("State_parametric_uv") ? ZR::SHADER::Vector2{0.25f, 0.75f}
                                                                  : ZR::SHADER::Vector2{};
  }
  ZR::SHADER::Vector3 get_state_float3(int) override { return {}; }
  ZR::SHADER::Vector4 get_state_float4(int) override { return {}; }
  ZR::SHADER::Vector4 get_shadow_weight() override { return {1, 1, 1, 1}; }
  // No texture lookups and no render settings: none of these shaders asks.
  ZR::SHADER::Color lookup_tex1d(ZR::SHADER::Texture_handle, float const*) override { return {}; }
  ZR::SHADER::Color lookup_tex2d(ZR::SHADER::Texture_handle, float const*) override { return {}; }
  ZR::SHADER::Color lookup_tex3d(ZR::SHADER::Texture_handle, float const*) override { return {}; }
  ZR::SHADER::Color lookup_texcube(ZR::SHADER::Texture_handle, float const*) override { return {}; }
  ZR::SHADER::Render_settings* get_render_settings() override { return nullptr; }
  // The library releases every State it was given, once (step 13 of docs/host-interface.md).
  void release() override { ++released; }
  Host_state* get_host_state() override { return record.get(); }
  Output_request_list* get_output_requests() override { return nullptr; }  // plain mode only here

  int released = 0;
};
State state;

class Runtime final : public ZR::SHADER::Runtime_interface {
 public:
  void release() override {}
  ZR::SHADER::State* get_state(Host_state*) override { return &state; }
};
Runtime runtime;

// A shader object's inputs or outputs by name: each value as wide as its
// type, "result" 16 bytes (steps 20 and 21 of docs/host-interface.md).
class Block final : public ZR::SHADER::Data_block {
 public:
  void* lookup(char const* name) override {
    auto const it = values_.find(name);
    return it == values_.end() ? nullptr : it->second.data();
  }
  int notify_output(char const*) override { return 1; }
  void set(std::string const& name, float value) { std::memcpy(values_[name].data(), &value, sizeof value); }
  void add_result() { values_["result"]; }
  float get(std::string const& name) {
    float value;
    std::memcpy(&value, values_.at(name).data(), sizeof value);
    return value;
  }

 private:
  std::map<std::string, std::array<unsigned char, 16>> values_;
};

}  // namespace

// ---- The four functions the plug-in imports (kvx_base_export_host_functions)

extern "C" {

int zr_query(int code, Host_state* state, int zero, ...) {
  va_list arguments;
  va_start(arguments, zero);
  void* answer = va_arg(arguments, void*);
  va_end(arguments);
  if (code == QUERY_GATHER_FLAG) {
    std::uint32_t const plain_mode = 0;
    std::memcpy(answer, &plain_mode, sizeof plain_mode);
  } else if (code == QUERY_INSTANCE_SLOT) {
    // The record says which instance is evaluated: the slot is that one's.
    void** slot = &Record::of(state).instance->slot;
    std::memcpy(answer, &slot, sizeof slot);
  }
  return 1;
}

void* zr_phen_eval(Host_state*, void* parameter) {
  // The slot's tag names the connection.
  std::uint32_t const tag = field::read<std::uint32_t>(parameter, tag_offset);
  std::size_t const connection = tag - first_connection;
  return connection < connected_values.size() ? &connected_values[connection] : nullptr;  // null: unset
}

int zr_shaderstate_set(Host_state*, char const*, void const*, int, int) { return 1; }

ZR::SHADER::Runtime_interface* zr_get_korvex_interface(int) { return &runtime; }

}  // extern "C"

namespace {

// ---- Loading, the lifecycle and one evaluation

void* plugin;

template <class F>
F* find(std::string const& name) {
  auto* found = reinterpret_cast<F*>(dlsym(plugin, name.c_str()));
  if (!found) throw std::runtime_error("the plug-in exports no " + name);
  return found;
}

// The shader's result through its C entry, in plain mode.
std::array<float, 4> evaluate(std::string const& shader, Instance& instance) {
  if (find<kvx_version>(shader + "_version")() != KVX_BASE_C_INTERFACE_VERSION)
    throw std::runtime_error(shader + ": another C interface version");
  record.instance = &instance;
  std::int32_t instance_inits = 0;
  find<kvx_init>(shader + "_init")(record.get(), nullptr, &instance_inits);  // the shader
  if (instance_inits) find<kvx_init>(shader + "_init")(record.get(), instance.block.data(), &instance_inits);
  std::array<float, 4> result{};
  find<kvx_entry>(shader)(result.data(), record.get(), instance.block.data());
  if (instance_inits) find<kvx_exit>(shader + "_exit")(record.get(), instance.block.data());
  find<kvx_exit>(shader + "_exit")(record.get(), nullptr);
  return result;
}

void print(char const* shader, float const* value, unsigned components) {
  std::printf("%s %s", shader, components > 1 ? "(" : "");
  for (unsigned i = 0; i < components; ++i) std::printf("%s%.9g", i ? ", " : "", value[i]);
  std::printf("%s  [", components > 1 ? ")" : "");
  for (unsigned i = 0; i < components; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &value[i], sizeof bits);
    std::printf("%s0x%08x", i ? " " : "", bits);
  }
  std::printf("]\n");
}

kvx::catalogue::Shader const& row(char const* shader) { return *kvx::catalogue::find(shader); }

}  // namespace

int main(int argc, char** argv) try {
  char const* path = argc > 1 ? argv[1] : KVX_BASE_PLUGIN;
  plugin = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!plugin) throw std::runtime_error(dlerror());
  field::write(settings.data(), field::tag_offset, tag_offset);
  field::write(settings.data(), field::integer_tags, std::uint8_t{1});
  field::write(record.fields.data(), field::eval_settings, static_cast<void*>(settings.data()));

  Instance add;
  add.set(row("Math_float_add").parameter_list[0], 1.5f, kvx::bridge::tag_constant);
  add.set(row("Math_float_add").parameter_list[1], 2.25f, kvx::bridge::tag_constant);
  print("Math_float_add", evaluate("Math_float_add", add).data(), 1);

  Instance sine;
  sine.set(row("Math_float_sin").parameter_list[0], 0.0f, first_connection);
  print("Math_float_sin", evaluate("Math_float_sin", sine).data(), 1);

  Instance uv;
  print("State_parametric_uv", evaluate("State_parametric_uv", uv).data(), 2);

  // A shader object: made by the shader's plug-in from its inputs, main
  // writes "result", release ends it (steps 20 to 22 of docs/host-interface.md).
  auto* plugin_object = static_cast<ZR::SHADER::Software_shader_plugin*>(
      find<kvx_initializer>("initializer")(row("Math_float_multiply").index));
  if (plugin_object->get_plugin_system_version() != KVX_BASE_PLUGIN_SYSTEM_VERSION)
    throw std::runtime_error("another plug-in system version");
  Block inputs, outputs;
  inputs.set("left", 1.5f);
  inputs.set("right", 2.25f);
  outputs.add_result();
  ZR::SHADER::Shader* object = plugin_object->new_instance(nullptr, &inputs);
  object->main(&state, &outputs);
  object->release();
  plugin_object->release();
  float const product = outputs.get("result");
  print("Math_float_multiply", &product, 1);

  if (state.released != 3) throw std::runtime_error(std::to_string(state.released) + " States released, not 3");
  dlclose(plugin);
  return 0;
} catch (std::exception const& e) {
  std::fprintf(stderr, "host: %s\n", e.what());
  return 1;
}
