// SPDX-License-Identifier: Apache-2.0
// kvx-host list [--json]: every shader the factory hands out, in index order.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <catalogue/catalogue.h>

#include <network/catalogue_json.h>
#include <host/library.h>
#include <network/values.h>

#include "commands.h"

namespace kvx::commands {

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
    if (p.has_default) text += " =" + network::format_value(p.type, p.default_value);
  }
  return text;
}

int list(host::Library const& library, bool json) {
  network::Json document = {
      {"schema", "kvx-host/list/1"}, {"library", library.path()}, {"shaders", network::Json::array()}};
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
    if (json)
      document["shaders"].push_back(network::shader_json(*row));
    else
      std::printf("%3u  %-36s (%s) -> %s\n", index, std::string(name).c_str(), text_parameters(*row).c_str(),
                  std::string(kvx::catalogue::name(row->result)).c_str());
  }
  if (json)
    std::cout << document.dump(2) << '\n';
  else
    std::printf("%u shaders in %s\n", index, library.path().c_str());
  return 0;
}

}  // namespace

void add_list(CLI::App& app, Run& run) {
  auto json = std::make_shared<bool>(false);
  auto* command = app.add_subcommand("list", "every shader in the library, in factory order");
  command->add_flag("--json", *json, "print the kvx-host/list/1 JSON schema (docs/kvx-host.md)");
  command->callback([json, &run] {
    run = [json] {
      host::Library const library;
      return list(library, *json);
    };
  });
}

}  // namespace kvx::commands
