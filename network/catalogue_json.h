// SPDX-License-Identifier: Apache-2.0
// The catalogue in the `kvx-host/list/1` JSON schema (docs/kvx-host.md): one
// object per shader. `kvx-host list --json`, the gallery page and the Python
// module all describe shaders with it.
#pragma once

#include <nlohmann/json.hpp>

#include <catalogue/catalogue.h>

namespace kvx::network {

// Members in the documented order.
using Json = nlohmann::ordered_json;

// {"index": …, "name": …, "operation": …, "type": …, "result": …, "parameters": […]}
Json shader_json(catalogue::Shader const& shader);

}  // namespace kvx::network
