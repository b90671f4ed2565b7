// kvx-host list [--json]: every shader the factory hands out, in index order.
#include <cstdio>
#include <memory>
#include <string>

#include <catalogue/catalogue.h>

#include <host/catalogue_json.h>
#include <host/values.h>

#include "commands.h"

namespace kvx::tool {

using host::format_value;
using host::json_string;

namespace {

struct Release_plugin {
  void operator()(ZR::PLUG::Plugin* plugin) const { plugin->release(); }
};

constexpr std::string_view plugin_prefix = "softshader_";

std::string text_parameters(catalogue::Shader const& row) {
  std::string text;
  for (auto const& p : row.parameters()) {
    if (!text.empty()) text += ", ";
    text += std::string(p.name) + " " + std::string(name(p.type)) + " @" + std::to_string(p.offset);
    if (p.has_default) text += " =" + format_value(p.type, p.unset);
  }
  return text;
}

}  // namespace

int list(host::Library& library, Arguments arguments) {
  bool json = false;
  for (std::string_view a : arguments) {
    if (a == "--json") json = true;
    else return usage_error("list takes only --json, not '" + std::string(a) + "'");
  }
  std::string out;
  if (json) out = "{\n  \"schema\": \"kvx-host/list/1\",\n  \"library\": " + json_string(library.path()) + ",\n  \"shaders\": [";
  unsigned index = 0;
  for (;; ++index) {
    std::unique_ptr<ZR::PLUG::Plugin, Release_plugin> plugin{library.plugin(index)};
    if (!plugin) break;
    std::string_view name = plugin->get_name();
    if (name.starts_with(plugin_prefix)) name.remove_prefix(plugin_prefix.size());
    auto const* row = catalogue::find(name);
    if (!row) {
      std::fprintf(stderr, "kvx-host: plug-in %u, '%.*s', is not in this tool's catalogue\n", index,
                   int(name.size()), name.data());
      return 1;
    }
    if (!json) {
      std::printf("%3u  %-36s (%s) -> %s\n", index, std::string(name).c_str(), text_parameters(*row).c_str(),
                  std::string(kvx::name(row->result)).c_str());
      continue;
    }
    out += (index ? ",\n    " : "\n    ") + host::shader_json(*row);
  }
  if (json) {
    out += "\n  ]\n}\n";
    std::fputs(out.c_str(), stdout);
  } else {
    std::printf("%u shaders in %s\n", index, library.path().c_str());
  }
  return 0;
}

}  // namespace kvx::tool
