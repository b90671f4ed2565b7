// SPDX-License-Identifier: Apache-2.0
#include <network/evaluation.h>

#include <network/batch_shading.h>

#include <cmath>
#include <cstring>
#include <memory>

#include <host/data_block.h>
#include <network/printable.h>
#include <network/suggestions.h>
#include <network/values.h>

namespace kvx::network {

namespace {

// The int a setting's float also answers: truncated, NaN as 0, out of range clamped.
int as_int(float f) {
  if (std::isnan(f)) return 0;
  if (f <= -2147483648.0f) return INT32_MIN;
  if (f >= 2147483648.0f) return INT32_MAX;
  return static_cast<int>(f);
}

void apply(host::Reference_host& host, Host_setting const& s) {
  auto const& v = s.components;
  using T = Host_setting::Target;
  switch (s.target) {
    case T::state:
      if (v.size() == 1) host.set_int(s.id, as_int(v[0])), host.set_float(s.id, v[0]);
      if (v.size() == 2) host.set_float2(s.id, {v[0], v[1]});
      if (v.size() == 3) host.set_float3(s.id, {v[0], v[1], v[2]});
      if (v.size() == 4) host.set_float4(s.id, {v[0], v[1], v[2], v[3]});
      break;
    case T::render:
      host.set_render_int(s.id, as_int(v[0]));
      host.set_render_float(s.id, v[0]);
      break;
    case T::camera:
      host.set_camera_int(s.id, as_int(v[0]));
      host.set_camera_float(s.id, v[0]);
      if (v.size() >= 2) host.set_camera_float2(s.id, {v[0], v[1]});
      break;
  }
}

}  // namespace

Evaluation_request request_for(std::string_view shader) {
  Evaluation_request request;
  request.shader = catalogue::find(shader);
  if (!request.shader)
    throw Unknown_name("unknown shader '" + printable(shader) + "'" + did_you_mean_shader(shader));
  return request;
}

void set_parameter(Evaluation_request& r, std::string_view name, std::string_view text) {
  auto const& row = *r.shader;
  for (unsigned k = 0; k < row.parameter_count; ++k) {
    if (row.parameter_list[k].name != name) continue;
    auto parsed = parse_value(row.parameter_list[k].type, text);
    if (!parsed.value) throw std::invalid_argument(std::string(name) + ": " + parsed.error);
    r.values[k] = *parsed.value;
    return;
  }
  std::vector<std::string_view> known;
  for (auto const& p : row.parameters()) known.push_back(p.name);
  throw Unknown_name(std::string(row.name) + " has no parameter '" + printable(name) + "'" + did_you_mean(name, known));
}

Host_setting parse_setting(Host_setting::Target target, std::string_view text_view) {
  std::string const text(text_view);
  Host_setting s{target, 0, {}};
  auto const eq = text.find('=');
  auto const id = eq == std::string::npos ? std::nullopt : parse_int(text.substr(0, eq));
  if (!id) throw std::invalid_argument("'" + text + "' is not id=value");
  s.id = *id;
  std::string const rest = text.substr(eq + 1);
  for (unsigned n = 1; n <= 4; ++n) {
    catalogue::Type const t = n == 1   ? catalogue::Type::float_
                              : n == 2 ? catalogue::Type::float2
                              : n == 3 ? catalogue::Type::float3
                                       : catalogue::Type::float4;
    auto parsed = parse_value(t, rest);
    if (!parsed.value) continue;
    s.components.resize(n);
    std::memcpy(s.components.data(), parsed.value->data(), 4 * n);
    return s;
  }
  throw std::invalid_argument("'" + rest + "' is not one to four floats");
}

C_evaluation evaluate_c(host::Library const& library, Evaluation_request const& r) {
  auto const& row = *r.shader;
  auto* entry = library.function<int(void*, Host_state*, void*)>(std::string(row.name).c_str());
  if (!entry) throw std::runtime_error("the library exports no " + std::string(row.name));
  host::Reference_host host;
  for (auto const& s : r.settings) apply(host, s);
  host::Parameter_block block;  // unset parameters keep tag 0: their declared defaults
  for (auto const& [k, value] : r.values) block.set(row.parameter_list[k], value);
  host.record().set_tag_offset(block.tag_offset());
  host.record().set_integer_tags(1);
  host.record().set_ray_type(r.ray_type);
  host.set_gather_flag(r.gather ? 1 : 0);
  C_evaluation result{{}, 0};
  result.returned = entry(result.value.data(), host.record().get(), block.params());
  return result;
}

catalogue::Value_bytes evaluate_object(host::Library const& library, Evaluation_request const& r) {
  auto const& row = *r.shader;
  host::Reference_host host;
  for (auto const& s : r.settings) apply(host, s);
  host::Block inputs;
  for (auto const& [k, value] : r.values)
    inputs.set_bytes(row.parameter_list[k].name, value.data(), width(row.parameter_list[k].type));
  return host::Shader_object(*library.shader_plugin(row.index), inputs).result(host.state());
}

catalogue::Value_bytes evaluate_batch(host::Batch_library const& batch, Evaluation_request const& r) {
  auto const& row = *r.shader;
  host::Reference_host host;
  for (auto const& s : r.settings) apply(host, s);
  std::array<kvx_batch_values, catalogue::max_parameters> parameters{};
  catalogue::Value_bytes state{};
  if (row.source != catalogue::Source::none) {
    state = state_answer(host, row);
    parameters[0] = {state.data(), 0};
  }
  for (auto const& [k, value] : r.values) parameters[k] = {value.data(), 0};
  kvx_batch_host const lookups = batch_host(host);
  catalogue::Value_bytes result{};
  if (batch.function(row.index)(&lookups, 1, parameters.data(), {result.data(), 0}) != KVX_BATCH_DONE)
    throw std::runtime_error("the batch function of " + std::string(row.name) + " refused its values");
  return result;
}

}  // namespace kvx::network
