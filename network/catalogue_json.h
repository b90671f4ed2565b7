// SPDX-License-Identifier: Apache-2.0
// The catalogue in the `kvx-host/list/2` JSON schema (docs/kvx-host.md), as
// the loaded library hands it out. `kvx-host list`, the gallery, the live
// editor and the Python module all describe shaders with it.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include <catalogue/catalogue.h>
#include <host/library.h>

namespace kvx::network {

// Members in the documented order.
using Json = nlohmann::ordered_json;

// {"index": …, "name": …, "operation": …, "type": …, "result": …, "parameters": […],
//  "description": one line, "also": [the usual names elsewhere]}
Json shader_json(catalogue::Shader const& shader);

// The shaders the library's plug-ins are, from initializer(0) on until it
// answers null, as this program's catalogue rows. Throws std::runtime_error
// naming a plug-in the catalogue does not know, or one out of its place.
std::vector<catalogue::Shader const*> loaded_shaders(host::Library const& library);

// {"schema": "kvx-host/list/2", "library": its path, "shaders": [shader_json, …]}
Json catalogue_document(host::Library const& library);

}  // namespace kvx::network
