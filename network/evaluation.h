// SPDX-License-Identifier: Apache-2.0
// One shader evaluated once with constant inputs, through its C entry or a
// shader object: what `kvx-host eval` and the Python module's eval do.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <catalogue/catalogue.h>
#include <host/reference_host.h>
#include <host/batch_library.h>
#include <host/library.h>
#include <host/parameter_block.h>

namespace kvx::network {

// An unknown shader or parameter name (a bad value is std::invalid_argument).
struct Unknown_name : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// What the host answers for an id: one float (also the int), or 2 to 4 floats.
struct Host_setting {
  enum class Target { state, render, camera } target;
  int id;
  std::vector<float> components;
};

struct Evaluation_request {
  catalogue::Shader const* shader = nullptr;
  std::map<unsigned, catalogue::Value_bytes> values;  // by parameter index; unset ones follow each path's rule
  bool gather = false;                     // the C entry in gathering mode
  int ray_type = 0;
  std::vector<Host_setting> settings;
};

// The request for the named shader; throws Unknown_name.
Evaluation_request request_for(std::string_view shader);
// Sets a parameter from its text as `eval` takes it. Throws Unknown_name
// ("SHADER has no parameter 'NAME'") or std::invalid_argument ("NAME: why").
void set_parameter(Evaluation_request& request, std::string_view name, std::string_view text);
// "id=v1,v2,...", up to four floats; throws std::invalid_argument.
Host_setting parse_setting(Host_setting::Target target, std::string_view text);

struct C_evaluation {
  catalogue::Value_bytes value;
  int returned;
};
// Unset parameters take their declared defaults (scalar ints and bools 0).
C_evaluation evaluate_c(host::Library const& library, Evaluation_request const& request);
// Unset parameters are zero.
catalogue::Value_bytes evaluate_object(host::Library const& library, Evaluation_request const& request);
// The batch function at one point, in plain mode: unset parameters take their
// declared defaults (scalar ints and bools 0); a State_ shader reads what the
// host answers for its field.
catalogue::Value_bytes evaluate_batch(host::Batch_library const& batch, Evaluation_request const& request);

}  // namespace kvx::network
