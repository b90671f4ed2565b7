// The catalogue in the `kvx-host/list/1` JSON schema (docs/kvx-host.md): one
// object per shader, one line each. `kvx-host list --json`, the gallery page
// and the Python module all describe shaders with it.
#pragma once

#include <string>
#include <string_view>

#include <catalogue/catalogue.h>

namespace kvx::host {

// A JSON string literal.
std::string json_string(std::string_view text);

// {"index": …, "name": …, "operation": …, "type": …, "result": …, "parameters": […]}
std::string shader_json(catalogue::Shader const& shader);

}  // namespace kvx::host
