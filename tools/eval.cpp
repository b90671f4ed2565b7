// kvx-host eval SHADER name=value ... [--path c|cpp|both] [--gather]
//               [--ray-type N] [--state id=value] [--render id=value] [--camera id=value]
//
// Evaluates through the C entry and/or a shader object. An unset parameter
// follows each path's rule: the C entry's declared default (scalar ints and
// bools read 0 from the block), the shader object's zero.
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <catalogue/catalogue.h>
#include <host/host.h>
#include <host/parameter_block.h>

#include "commands.h"
#include <host/values.h>

namespace kvx::tool {

using host::format_bits;
using host::format_value;
using host::parse_value;

namespace {

struct Host_setting {
  enum class Target { state, render, camera } target;
  int id;
  std::vector<float> components;
};

struct Request {
  catalogue::Shader const* row = nullptr;
  std::map<unsigned, host::Value_bytes> values;  // by parameter index
  bool c = true, cpp = true, gather = false;
  int ray_type = 0;
  std::vector<Host_setting> settings;
};

bool parse_int(std::string const& s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (s.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// "id=v1,v2,...": up to four float components.
bool parse_setting(std::string const& text, Host_setting& s, std::string& error) {
  auto const eq = text.find('=');
  if (eq == std::string::npos || !parse_int(text.substr(0, eq), s.id)) {
    error = "'" + text + "' is not id=value";
    return false;
  }
  std::string rest = text.substr(eq + 1);
  for (unsigned n = 1; n <= 4; ++n) {
    Type const t = n == 1 ? Type::float_ : n == 2 ? Type::float2 : n == 3 ? Type::float3 : Type::float4;
    auto parsed = parse_value(t, rest);
    if (!parsed.value) continue;
    s.components.resize(n);
    std::memcpy(s.components.data(), parsed.value->data(), 4 * n);
    return true;
  }
  error = "'" + rest + "' is not one to four floats";
  return false;
}

void apply(host::Host& host, Host_setting const& s) {
  auto const& v = s.components;
  using T = Host_setting::Target;
  switch (s.target) {
    case T::state:
      if (v.size() == 1) host.set_int(s.id, static_cast<int>(v[0])), host.set_float(s.id, v[0]);
      if (v.size() == 2) host.set_float2(s.id, {v[0], v[1]});
      if (v.size() == 3) host.set_float3(s.id, {v[0], v[1], v[2]});
      if (v.size() == 4) host.set_float4(s.id, {v[0], v[1], v[2], v[3]});
      break;
    case T::render:
      host.set_render_int(s.id, static_cast<int>(v[0]));
      host.set_render_float(s.id, v[0]);
      break;
    case T::camera:
      host.set_camera_int(s.id, static_cast<int>(v[0]));
      host.set_camera_float(s.id, v[0]);
      if (v.size() >= 2) host.set_camera_float2(s.id, {v[0], v[1]});
      break;
  }
}

int parse(Arguments arguments, Request& r) {
  if (arguments.empty()) return usage_error("eval needs a shader name");
  std::string const shader = arguments[0];
  r.row = catalogue::find(shader);
  if (!r.row) return usage_error("unknown shader '" + shader + "'");
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string const a = arguments[i];
    // The option's value, or null when the command line ends first.
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= arguments.size()) return std::nullopt;
      return std::string(arguments[++i]);
    };
    if (a == "--gather") {
      r.gather = true;
    } else if (a == "--path") {
      auto const v = next();
      if (!v || (*v != "c" && *v != "cpp" && *v != "both")) return usage_error("--path takes c, cpp or both");
      r.c = *v != "cpp";
      r.cpp = *v != "c";
    } else if (a == "--ray-type") {
      auto const v = next();
      if (!v || !parse_int(*v, r.ray_type)) return usage_error("--ray-type takes an integer");
    } else if (a == "--state" || a == "--render" || a == "--camera") {
      auto const v = next();
      if (!v) return usage_error(a + " takes id=value");
      Host_setting s{a == "--state" ? Host_setting::Target::state
                     : a == "--render" ? Host_setting::Target::render
                                       : Host_setting::Target::camera,
                     0, {}};
      std::string error;
      if (!parse_setting(*v, s, error)) return usage_error(a + ": " + error);
      r.settings.push_back(s);
    } else if (auto const eq = a.find('='); eq != std::string::npos && !a.starts_with("--")) {
      std::string const name = a.substr(0, eq);
      unsigned k = 0;
      while (k < r.row->parameter_count && r.row->parameter_list[k].name != name) ++k;
      if (k == r.row->parameter_count) return usage_error(shader + " has no parameter '" + name + "'");
      auto parsed = parse_value(r.row->parameter_list[k].type, a.substr(eq + 1));
      if (!parsed.value) return usage_error(name + ": " + parsed.error);
      r.values[k] = *parsed.value;
    } else {
      return usage_error("unexpected argument '" + a + "'");
    }
  }
  return 0;
}

void print(char const* path, Type t, host::Value_bytes const& value, std::string const& note) {
  std::printf("%-14s %s  [%s]%s\n", path, format_value(t, value).c_str(), format_bits(t, value).c_str(),
              note.c_str());
}

}  // namespace

int eval(host::Library& library, Arguments arguments) {
  Request r;
  if (int status = parse(arguments, r)) return status;
  auto const& row = *r.row;
  std::string const shader(row.name);

  host::Host host;
  for (auto const& s : r.settings) apply(host, s);
  host::Value_bytes c_value{}, cpp_value{};

  if (r.c) {
    auto* entry = library.function<int(void*, Host_state*, void*)>(shader.c_str());
    if (!entry) {
      std::fprintf(stderr, "kvx-host: the library exports no %s\n", shader.c_str());
      return 1;
    }
    host::Parameter_block block;  // unset parameters keep tag 0: their declared defaults
    for (auto const& [k, value] : r.values) block.set(row.parameter_list[k], value);
    host.record().set_tag_offset(block.tag_offset());
    host.record().set_integer_tags(1);
    host.record().set_ray_type(r.ray_type);
    host.set_gather_flag(r.gather ? 1 : 0);
    int const returned = entry(c_value.data(), host.record().get(), block.params());
    print("C entry", row.result, c_value,
          std::string("  (") + (r.gather ? "gathering" : "plain") + " mode, returned " + std::to_string(returned) + ")");
  }
  if (r.cpp) {
    std::unique_ptr<ZR::PLUG::Plugin, void (*)(ZR::PLUG::Plugin*)> plugin{
        library.plugin(row.index), [](ZR::PLUG::Plugin* p) { p->release(); }};
    host::Block inputs;
    for (auto const& [k, value] : r.values)
      inputs.set_bytes(row.parameter_list[k].name, value.data(), width(row.parameter_list[k].type));
    auto* object = static_cast<ZR::SHADER::Software_shader_plugin*>(plugin.get())->new_instance(nullptr, &inputs);
    host::Block output;
    output.add_result();
    object->main(host.state(), &output);
    object->release();
    std::memcpy(cpp_value.data(), output.find("result"), width(row.result));
    print("shader object", row.result, cpp_value, "");
  }
  if (r.c && r.cpp)
    std::printf("%s\n", std::memcmp(c_value.data(), cpp_value.data(), width(row.result)) == 0
                            ? "both paths agree"
                            : "the paths differ (unset parameters follow each path's own rule)");
  return 0;
}

}  // namespace kvx::tool
