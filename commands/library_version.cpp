// SPDX-License-Identifier: Apache-2.0
#include "library_version.h"

namespace kvx::commands {

std::string library_version(host::Library const& library) {
  unsigned count = 0;
  std::string shader;
  int plugin_version = 0;
  std::string compiler;
  while (ZR::PLUG::Plugin* plugin = library.plugin(count)) {
    if (count++ == 0) {
      shader = plugin->get_name();
      plugin_version = plugin->get_version();
      compiler = plugin->get_compiler();
    }
    plugin->release();
  }
  std::string text = std::to_string(count) + " shaders, plug-in version " + std::to_string(plugin_version) +
                     " (compiler " + compiler + ")";
  if (shader.starts_with("softshader_"))
    if (auto* version = library.function<int()>((shader.substr(11) + "_version").c_str()))
      text += ", C interface version " + std::to_string(version());
  return text;
}

}  // namespace kvx::commands
