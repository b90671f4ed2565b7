// SPDX-License-Identifier: Apache-2.0
// One maker per catalogue row: creates that shader's plug-in. Each is defined
// in its family's translation unit, where the classes are emitted.
#pragma once

#include <plugin/objects/plugin.h>

namespace kvx::plugin {
#define KVX_SHADER(index, name, operation, type) ZR::PLUG::Plugin* new_##name##_plugin();
#include <catalogue/shaders.def>
}  // namespace kvx::plugin
