// SPDX-License-Identifier: Apache-2.0
// kvx-host list [--json]: every shader the factory hands out, in index order.
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include <catalogue/catalogue.h>
#include <host/library.h>
#include <network/catalogue_json.h>
#include <network/values.h>

#include "commands.h"

namespace kvx::commands {

namespace {

std::string text_parameters(catalogue::Shader const& row) {
  std::string text;
  for (auto const& p : row.parameters()) {
    if (!text.empty()) text += ", ";
    text += std::string(p.name) + " " + std::string(name(p.type)) + " @" + std::to_string(p.offset);
    if (p.has_default) text += " =" + network::format_value(p.type, p.default_value);
  }
  return text;
}

int list(host::Library const& library, bool json) try {
  if (json) {
    std::cout << network::catalogue_document(library).dump(2) << '\n';
    return 0;
  }
  auto const rows = network::loaded_shaders(library);
  for (auto const* row : rows)
    std::printf("%3u  %-36s (%s) -> %s\n", row->index, std::string(row->name).c_str(), text_parameters(*row).c_str(),
                std::string(catalogue::name(row->result)).c_str());
  std::printf("%zu shaders in %s\n", rows.size(), library.path().c_str());
  return 0;
} catch (std::runtime_error const& e) {
  std::fprintf(stderr, "kvx-host: %s\n", e.what());
  return 1;
}

}  // namespace

void add_list(CLI::App& app, Run& run) {
  auto json = std::make_shared<bool>(false);
  auto* command = app.add_subcommand("list", "every shader in the library, in factory order");
  command->add_flag("--json", *json, "print the kvx-host/list/2 JSON schema (docs/kvx-host.md)");
  command->callback([json, &run] {
    run = [json] {
      host::Library const library;
      return list(library, *json);
    };
  });
}

}  // namespace kvx::commands
