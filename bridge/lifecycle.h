// <shader>_version, <shader>_init and <shader>_exit, written once for every
// plug-in class. They keep one plug-in per shader between the shader-level init
// and exit, and one shader object per instance in the host's per-instance slot.
// The call entry uses neither.
#pragma once

#include <cstdint>

#include <bridge/host.h>
#include <plugin/export.h>
#include <plugin/plugin.h>

namespace kvx {

inline constexpr int c_interface_version = 4;

// Stored in the host's per-instance slot.
struct Shader_instance_record {
  void* parameter_block;       // as given to the instance-level init; never read back
  ZR::SHADER::Shader* shader;  // null until the plug-in has made it, or without a plug-in
};

// The shader's plug-in between its shader-level init and exit; null at load.
template <class Plugin>
KVX_HIDDEN inline constinit ZR::SHADER::Software_shader_plugin* plugin_of = nullptr;

inline void** instance_slot(Host_state* state) {
  void** slot = nullptr;
  zr_query(QUERY_INSTANCE_SLOT, state, 0, &slot);
  return slot;
}

template <class Plugin>
void shader_init(Host_state* state, void* parameters, std::int32_t* instance_init_request) {
  if (!parameters) {
    // Shader level: ask for the per-instance inits, then keep a fresh plug-in.
    // One left by an init without exit is destroyed rather than leaked.
    if (instance_init_request) *instance_init_request = 1;
    ZR::SHADER::Software_shader_plugin* fresh = new Plugin;
    delete plugin_of<Plugin>;
    plugin_of<Plugin> = fresh;
    return;
  }
  void** slot = instance_slot(state);
  if (!slot) return;
  auto* record = new Shader_instance_record{parameters, nullptr};
  *slot = record;
  if (auto* plugin = plugin_of<Plugin>) record->shader = plugin->new_instance(nullptr, nullptr);
}

template <class Plugin>
void shader_exit(Host_state* state, void* parameters) {
  if (!parameters) {
    delete plugin_of<Plugin>;
    plugin_of<Plugin> = nullptr;
    return;
  }
  // The slot is cleared, so a second exit of the same instance finds nothing.
  void** slot = instance_slot(state);
  if (!slot || !*slot) return;
  auto* record = static_cast<Shader_instance_record*>(*slot);
  if (record->shader) record->shader->release();
  delete record;
  *slot = nullptr;
}

}  // namespace kvx
