// SPDX-License-Identifier: Apache-2.0
// kvx-host eval SHADER [name=value ...] [--path c|cpp|both] [--gather]
//               [--ray-type N] [--state id=value] [--render id=value] [--camera id=value]
//
// Evaluates through the C entry and/or a shader object. An unset parameter
// follows each path's rule: the C entry's declared default (scalar ints and
// bools read 0 from the block), the shader object's zero.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <network/batch_shading.h>
#include <network/evaluation.h>
#include <host/library.h>
#include <network/values.h>

#include "command_line.h"
#include "commands.h"

namespace kvx::commands {

namespace {

using network::format_bits;
using network::format_value;

struct Eval_options {
  std::string shader;
  std::vector<std::string> parameters;  // name=value
  network::Paths paths = network::Paths::all;
  bool gather = false;
  std::string ray_type = "0";
  std::vector<std::string> state, render, camera;  // id=value
};

// The evaluation the options ask for, or the status of a usage error.
std::optional<network::Evaluation_request> request(Eval_options const& o, int& status) {
  try {
    network::Evaluation_request e = network::request_for(o.shader);
    e.gather = o.gather;
    auto const ray_type = network::parse_int(o.ray_type);
    if (!ray_type) throw std::invalid_argument("--ray-type: '" + o.ray_type + "' is not a 32-bit int");
    e.ray_type = *ray_type;
    using T = network::Host_setting::Target;
    for (auto const& [option, target, texts] : {std::tuple{"--state", T::state, &o.state},
                                                {"--render", T::render, &o.render},
                                                {"--camera", T::camera, &o.camera}})
      for (auto const& text : *texts) {
        try {
          e.settings.push_back(network::parse_setting(target, text));
        } catch (std::invalid_argument const& error) {
          throw std::invalid_argument(std::string(option) + ": " + error.what());
        }
      }
    for (auto const& a : o.parameters) {
      auto const eq = a.find('=');
      if (eq == std::string::npos) throw std::invalid_argument("unexpected argument '" + a + "' (not name=value)");
      network::set_parameter(e, a.substr(0, eq), a.substr(eq + 1));
    }
    return e;
  } catch (std::invalid_argument const& error) {  // an unknown name or a bad value
    status = usage_error(error.what());
    return std::nullopt;
  }
}

void print(char const* path, catalogue::Type t, catalogue::Value_bytes const& value, std::string const& note) {
  std::printf("%-14s %s  [%s]%s\n", path, format_value(t, value).c_str(), format_bits(t, value).c_str(),
              note.c_str());
}

int eval(host::Library const& library, network::Evaluation_request const& e, network::Paths paths) {
  bool const c = network::runs_c(paths), cpp = network::runs_cpp(paths), batch = network::runs_batch(paths);
  catalogue::Type const result = e.shader->result;
  catalogue::Value_bytes c_value{}, cpp_value{}, batch_value{};
  if (c) {
    auto const evaluated = network::evaluate_c(library, e);
    c_value = evaluated.value;
    print("C entry", result, c_value,
          std::string("  (") + (e.gather ? "gathering" : "plain") + " mode, returned " +
              std::to_string(evaluated.returned) + ")");
  }
  if (cpp) {
    cpp_value = network::evaluate_object(library, e);
    print("shader object", result, cpp_value, "");
  }
  if (batch) {
    batch_value = network::evaluate_batch(network::batch_library(), e);
    print("batch", result, batch_value, "  (plain mode)");
  }
  auto same = [&](catalogue::Value_bytes const& a, catalogue::Value_bytes const& b) {
    return std::memcmp(a.data(), b.data(), width(result)) == 0;
  };
  if (c && cpp)
    std::printf("%s\n", same(c_value, cpp_value) && (!batch || same(c_value, batch_value))
                            ? batch ? "all three paths agree" : "both paths agree"
                            : "the paths differ (unset parameters follow each path's own rule)");
  return 0;
}

}  // namespace

void add_eval(CLI::App& app, Run& run) {
  auto o = std::make_shared<Eval_options>();
  auto* command = app.add_subcommand("eval", "evaluate one shader and print the result and its bits");
  command->add_option("SHADER", o->shader, "a shader name, as kvx-host list gives it")
      ->type_name("SHADER")
      ->required();
  command->add_option("PARAMETERS", o->parameters,
                      "name=value: a parameter's value, components separated by commas (1,2,3; floats also "
                      "nan, inf, -inf; bools true, false or a byte); unset parameters follow each path's rule")
      ->type_name("name=value ...");
  add_path_option(*command, o->paths);
  command->add_flag("--gather", o->gather, "the C entry in gathering mode (a 16-byte result)");
  command->add_option("--ray-type", o->ray_type, "the host's ray type (4: shadow delivery, 5: the gathering short cut)")
      ->type_name("N")
      ->capture_default_str();
  command->add_option("--state", o->state, "what the host's State answers for an id: one float or 2 to 4")
      ->type_name("id=value");
  command->add_option("--render", o->render, "what the render settings answer for an id")->type_name("id=value");
  command->add_option("--camera", o->camera, "what the camera settings answer for an id")->type_name("id=value");
  command->callback([o, &run] {
    run = [o] {
      host::Library const library;
      int status = 0;
      auto const e = request(*o, status);
      return e ? eval(library, *e, o->paths) : status;
    };
  });
}

}  // namespace kvx::commands
