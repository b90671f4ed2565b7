// SPDX-License-Identifier: Apache-2.0
// The plug-in factory: a dense table from catalogue index to plug-in maker.
#include <array>

#include <bridge/interface/c_entries.h>  // the declaration hosts compile against
#include <catalogue/catalogue.h>
#include <bridge/interface/export.h>
#include <plugin/emit/makers.h>

namespace kvx::plugin {
namespace {
using Plugin_maker = ZR::PLUG::Plugin* (*)();

constexpr Plugin_maker plugin_makers[] = {
#define KVX_SHADER(index, name, operation, type) &new_##name##_plugin,
#include <catalogue/shaders.def>
};
static_assert(std::size(plugin_makers) == catalogue::shader_count);
}  // namespace
}  // namespace kvx::plugin

// A new plug-in for indices 0 to 401, owned by the caller; null above.
extern "C" KVX_EXPORT ZR::PLUG::Plugin* initializer(unsigned index) {
  if (index >= kvx::catalogue::shader_count) return nullptr;
  return kvx::plugin::plugin_makers[index]();
}
