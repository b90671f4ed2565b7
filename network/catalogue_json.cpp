// SPDX-License-Identifier: Apache-2.0
#include <network/catalogue_json.h>

#include <network/values.h>

#include <string>

namespace kvx::network {

namespace {

// One number per component; null where the C entry takes no default.
Json default_json(catalogue::Parameter const& p) {
  if (!p.has_default) return nullptr;
  Json values = Json::array();
  for_each_component(p.type, p.default_value, [&values](auto component) { values.push_back(component); });
  return values;
}

}  // namespace

Json shader_json(catalogue::Shader const& row) {
  Json parameters = Json::array();
  for (auto const& p : row.parameters())
    parameters.push_back({{"name", std::string(p.name)},
                          {"type", std::string(name(p.type))},
                          {"offset", p.offset},
                          {"slot_size", slot_size(p.type)},
                          {"default", default_json(p)}});
  return {{"index", row.index},
          {"name", std::string(row.name)},
          {"operation", std::string(row.operation)},
          {"type", row.typed ? Json(std::string(name(row.type))) : Json(nullptr)},
          {"result", std::string(name(row.result))},
          {"parameters", std::move(parameters)}};
}

}  // namespace kvx::network
