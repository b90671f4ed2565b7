// kvx-host eval SHADER name=value ... [--path c|cpp|both] [--gather]
//               [--ray-type N] [--state id=value] [--render id=value] [--camera id=value]
//
// Evaluates through the C entry and/or a shader object. An unset parameter
// follows each path's rule: the C entry's declared default (scalar ints and
// bools read 0 from the block), the shader object's zero.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <host/evaluation.h>
#include <host/values.h>

#include "commands.h"

namespace kvx::tool {

using host::format_bits;
using host::format_value;

namespace {

struct Request {
  host::Evaluation_request evaluation;
  bool c = true, cpp = true;
};

int parse(Arguments arguments, Request& r) {
  if (arguments.empty()) return usage_error("eval needs a shader name");
  auto& e = r.evaluation;
  try {
    e = host::request_for(arguments[0]);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      std::string const a = arguments[i];
      // The option's value, or null when the command line ends first.
      auto next = [&]() -> std::optional<std::string> {
        if (i + 1 >= arguments.size()) return std::nullopt;
        return std::string(arguments[++i]);
      };
      if (a == "--gather") {
        e.gather = true;
      } else if (a == "--path") {
        auto const v = next();
        if (!v || (*v != "c" && *v != "cpp" && *v != "both")) return usage_error("--path takes c, cpp or both");
        r.c = *v != "cpp";
        r.cpp = *v != "c";
      } else if (a == "--ray-type") {
        auto const v = next();
        auto const ray_type = v ? host::parse_int(*v) : std::nullopt;
        if (!ray_type) return usage_error("--ray-type takes an integer");
        e.ray_type = *ray_type;
      } else if (a == "--state" || a == "--render" || a == "--camera") {
        auto const v = next();
        if (!v) return usage_error(a + " takes id=value");
        using T = host::Host_setting::Target;
        T const target = a == "--state" ? T::state : a == "--render" ? T::render : T::camera;
        try {
          e.settings.push_back(host::parse_setting(target, *v));
        } catch (std::invalid_argument const& error) {
          return usage_error(a + ": " + error.what());
        }
      } else if (auto const eq = a.find('='); eq != std::string::npos && !a.starts_with("--")) {
        host::set_parameter(e, a.substr(0, eq), a.substr(eq + 1));
      } else {
        return usage_error("unexpected argument '" + a + "'");
      }
    }
  } catch (std::invalid_argument const& error) {  // an unknown name or a bad value
    return usage_error(error.what());
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
  auto const& e = r.evaluation;
  Type const result = e.shader->result;
  host::Value_bytes c_value{}, cpp_value{};
  if (r.c) {
    auto const c = host::evaluate_c(library, e);
    c_value = c.value;
    print("C entry", result, c_value,
          std::string("  (") + (e.gather ? "gathering" : "plain") + " mode, returned " + std::to_string(c.returned) +
              ")");
  }
  if (r.cpp) {
    cpp_value = host::evaluate_object(library, e);
    print("shader object", result, cpp_value, "");
  }
  if (r.c && r.cpp)
    std::printf("%s\n", std::memcmp(c_value.data(), cpp_value.data(), width(result)) == 0
                            ? "both paths agree"
                            : "the paths differ (unset parameters follow each path's own rule)");
  return 0;
}

}  // namespace kvx::tool
