// SPDX-License-Identifier: Apache-2.0
// kvx-host describe SHADER: one shader's interface in full.
#include <cstdio>
#include <string>

#include <catalogue/catalogue.h>

#include <host/library.h>
#include <network/descriptions.h>
#include <network/printable.h>
#include <network/suggestions.h>
#include <network/values.h>

#include "command_line.h"
#include "commands.h"

namespace kvx::commands {

namespace {

using network::format_value;

int describe(host::Library const& library, std::string const& shader) {
  auto const* row = catalogue::find(shader);
  if (!row) return usage_error("unknown shader '" + network::printable(shader) + "'" + network::did_you_mean_shader(shader));
  for (char const* suffix : {"", "_version", "_init", "_exit"})
    if (!library.symbol((shader + suffix).c_str())) {
      std::fprintf(stderr, "kvx-host: the library does not export %s%s\n", shader.c_str(), suffix);
      return 1;
    }

  std::printf("%s  (factory index %u)\n", shader.c_str(), row->index);
  std::printf("  computes       %s\n", network::description(*row).c_str());
  if (row->source != catalogue::Source::none)
    std::printf("  reads          id %d of the host's %s\n", row->id,
                row->source == catalogue::Source::state    ? "State"
                : row->source == catalogue::Source::render ? "Render_settings"
                                                           : "Camera_settings");
  else
    std::printf("  operation      %s%s%s\n", std::string(row->operation).c_str(), row->typed ? " over " : "",
                row->typed ? std::string(name(row->type)).c_str() : "");
  std::printf("  C functions    %s(result, state, params), %s_version(), %s_init(state, params, request),\n"
              "                 %s_exit(state, params)\n",
              shader.c_str(), shader.c_str(), shader.c_str(), shader.c_str());
  std::printf("  plug-in        ZR::SHADER::%s_shader_plugin, named \"softshader_%s\"\n", shader.c_str(),
              shader.c_str());
  std::printf("  shader object  ZR::SHADER::Kvx_%s\n", shader.c_str());
  std::printf("  gathering      ZR::SHADER::gather<ZR::SHADER::Kvx_%s::Result>\n", shader.c_str());
  std::printf("  parameter block, %u bytes:\n", row->block_size());
  if (row->parameter_count == 0) {
    std::printf("    (none)%s\n", row->entry == catalogue::Entry::overrides_normal
                                      ? "; a float3 at offset 0 may override the host's normal for the call"
                                      : "");
  } else {
    std::printf("    %6s %5s  %-12s %-8s %s\n", "offset", "slot", "name", "type", "default when unset");
    for (auto const& p : row->parameters())
      std::printf("    %6u %5u  %-12s %-8s %s\n", p.offset, slot_size(p.type), std::string(p.name).c_str(),
                  std::string(name(p.type)).c_str(),
                  p.has_default ? format_value(p.type, p.default_value).c_str() : "none: always read from the host");
  }
  std::printf("  result         %s: %u bytes in plain mode, 16 in gathering mode%s\n",
              std::string(name(row->result)).c_str(), slot_size(row->result),
              row->result == catalogue::Type::float4 || row->result == catalogue::Type::color
                  ? "; shadow rays store \"kvx:shadow\""
                  : "");
  return 0;
}

}  // namespace

void add_describe(CLI::App& app, Run& run) {
  auto shader = std::make_shared<std::string>();
  auto* command = app.add_subcommand("describe", "one shader's interface in full");
  command->add_option("SHADER", *shader, "a shader name, as kvx-host list gives it")
      ->type_name("SHADER")
      ->required();
  command->callback([shader, &run] {
    run = [shader] {
      host::Library const library;
      return describe(library, *shader);
    };
  });
}

}  // namespace kvx::commands
