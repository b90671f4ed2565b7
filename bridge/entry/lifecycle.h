// SPDX-License-Identifier: Apache-2.0
// <shader>_version, <shader>_init and <shader>_exit, written once for every
// plug-in class. They keep one plug-in per shader between the shader-level init
// and exit, and one shader object per instance in the host's per-instance slot.
// The call entry uses neither.
#pragma once

#include <cstdint>

#include <bridge/interface/interface.h>
#include <bridge/interface/export.h>
#include <plugin/objects/plugin.h>

namespace kvx::bridge {

inline constexpr int c_interface_version = KVX_BASE_C_INTERFACE_VERSION;

// Stored in the host's per-instance slot.
struct Shader_instance_record {
  void* parameter_block;       // as given to the instance-level init; never read back
  ZR::SHADER::Shader* shader;  // null until the plug-in has made it, or without a plug-in
};

using Make_plugin = ZR::SHADER::Software_shader_plugin* (*)();

// What every shader's init and exit do, given where that shader keeps its
// plug-in and how to make one.
// `shader` is the catalogue index, for the checked build's reports.
KVX_HIDDEN void lifecycle_init(Host_state* state, void* parameters, std::int32_t* instance_init_request,
                                ZR::SHADER::Software_shader_plugin*& kept, Make_plugin make, unsigned shader);
KVX_HIDDEN void lifecycle_exit(Host_state* state, void* parameters, ZR::SHADER::Software_shader_plugin*& kept,
                                unsigned shader);

// The shader's plug-in between its shader-level init and exit; null at load.
template <class Plugin>
KVX_HIDDEN inline constinit ZR::SHADER::Software_shader_plugin* plugin_of = nullptr;

template <class Plugin>
KVX_HIDDEN ZR::SHADER::Software_shader_plugin* make_plugin() {
  return new Plugin;
}

template <class Plugin, unsigned Index>
void shader_init(Host_state* state, void* parameters, std::int32_t* instance_init_request) {
  lifecycle_init(state, parameters, instance_init_request, plugin_of<Plugin>, make_plugin<Plugin>, Index);
}

template <class Plugin, unsigned Index>
void shader_exit(Host_state* state, void* parameters) {
  lifecycle_exit(state, parameters, plugin_of<Plugin>, Index);
}

}  // namespace kvx::bridge
