// SPDX-License-Identifier: Apache-2.0
// Emits the plug-in makers of the shaders whose families the including
// translation unit selects with KVX_EMIT_FAMILY_<family>, and with them those
// shaders' plug-in and shader-object classes. bridge/entry/entries.h emits their C
// interface.
#define KVX_EMIT_ONE_FAMILY
#include <plugin/objects/classes.h>
#include <plugin/emit/makers.h>

#define KVX_EMIT(name) \
  ZR::PLUG::Plugin* new_##name##_plugin() { return new ZR::SHADER::name##_shader_plugin; }

namespace kvx::plugin {
#define KVX_FAMILY(family) KVX_EMIT_FAMILY_##family
#define KVX_SHADER(index, name, operation, type) KVX_EMIT(name)
#include <catalogue/shaders.def>
}  // namespace kvx::plugin

#undef KVX_EMIT
