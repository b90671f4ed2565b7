// SPDX-License-Identifier: Apache-2.0
#include <network/catalogue_json.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include <network/descriptions.h>
#include <network/printable.h>
#include <network/values.h>

namespace kvx::network {

namespace {

// One number per component; null where the C entry takes no default.
Json default_json(catalogue::Parameter const& p) {
  if (!p.has_default) return nullptr;
  Json values = Json::array();
  for_each_component(p.type, p.default_value, [&values](auto component) { values.push_back(component); });
  return values;
}

constexpr std::string_view plugin_prefix = "softshader_";

}  // namespace

std::vector<catalogue::Shader const*> loaded_shaders(host::Library const& library) {
  std::vector<catalogue::Shader const*> rows;
  for (unsigned index = 0;; ++index) {
    host::Plugin_ptr const plugin = library.shader_plugin(index);
    if (!plugin) return rows;
    std::string_view name = plugin->get_name();
    if (name.starts_with(plugin_prefix)) name.remove_prefix(plugin_prefix.size());
    auto const* row = catalogue::find(name);
    if (!row || row->index != index)
      throw std::runtime_error("plug-in " + std::to_string(index) + ", '" + printable(name) +
                               "', is not in this program's catalogue at that index");
    rows.push_back(row);
  }
}

Json catalogue_document(host::Library const& library) {
  Json shaders = Json::array();
  for (auto const* row : loaded_shaders(library)) shaders.push_back(shader_json(*row));
  return {{"schema", "kvx-host/list/2"}, {"library", library.path()}, {"shaders", std::move(shaders)}};
}

Json shader_json(catalogue::Shader const& row) {
  Json parameters = Json::array();
  for (auto const& p : row.parameters())
    parameters.push_back({{"name", std::string(p.name)},
                          {"type", std::string(name(p.type))},
                          {"offset", p.offset},
                          {"slot_size", slot_size(p.type)},
                          {"default", default_json(p)}});
  Json also = Json::array();
  for (std::string_view other : other_names(row)) also.push_back(std::string(other));
  Json entry = {{"index", row.index},
                {"name", std::string(row.name)},
                {"operation", std::string(row.operation)},
                {"type", row.typed ? Json(std::string(name(row.type))) : Json(nullptr)},
                {"result", std::string(name(row.result))},
                {"parameters", std::move(parameters)},
                {"description", description(row)},
                {"also", std::move(also)}};
  // A State_ shader's field: which host object answers it, by which id.
  if (row.source != catalogue::Source::none) {
    entry["source"] = row.source == catalogue::Source::state    ? "state"
                      : row.source == catalogue::Source::render ? "render"
                                                                : "camera";
    entry["id"] = row.id;
  }
  return entry;
}

}  // namespace kvx::network
