// SPDX-License-Identifier: Apache-2.0
// kvx-host completion: a bash completion script for kvx-host, made from the
// command line's own definitions (commands, options, what their values
// are), so that it cannot fall out of step with them. Shader names come from
// `kvx-host list` when completing, so they are the loaded library's.
#include <cstdio>
#include <string>

#include "commands.h"

namespace kvx::commands {

namespace {

// The option's spellings joined by `separator`: "--threads", "-o".
std::string option_spellings(CLI::Option const& option, char const* separator) {
  std::string names;
  for (auto const& name : option.get_lnames()) names += (names.empty() ? "--" : std::string(separator) + "--") + name;
  for (auto const& name : option.get_snames()) names += (names.empty() ? "-" : std::string(separator) + "-") + name;
  return names;
}

// The bash words that complete a value of this type: shader names, files,
// directories, a fixed set, or nothing.
std::string value_completion(std::string const& type) {
  if (type == "SHADER" || type == "NAME INSTANCE") return "_kvx_host_shaders";
  if (type == "FILE") return "_kvx_host_files -f";
  if (type == "DIR") return "_kvx_host_files -d";
  if (type.find('|') != std::string::npos) {
    std::string words = type;
    for (char& c : words)
      if (c == '|') c = ' ';
    return "COMPREPLY=($(compgen -W \"" + words + "\" -- \"$cur\"))";
  }
  return "COMPREPLY=()";
}

std::string script(CLI::App const& app) {
  std::string commands, option_arms, value_arms, positional_arms;
  for (CLI::App const* command : app.get_subcommands([](CLI::App const*) { return true; })) {
    std::string const name = command->get_name();
    commands += " " + name;
    std::string options, values;
    for (CLI::Option const* option : command->get_options()) {
      if (option->get_positional()) {
        // The first positional only: a shader name comes first on the line.
        if (positional_arms.find("    " + name + ")") == std::string::npos)
          positional_arms += "    " + name + ") " +
                             (option->get_type_name() == "SHADER" ? "((COMP_CWORD == 2)) && " : "") +
                             value_completion(option->get_type_name()) + "; return ;;\n";
        continue;
      }
      options += " " + option_spellings(*option, " ");
      if (option->get_type_size() > 0)
        values += "      " + option_spellings(*option, "|") + ") " + value_completion(option->get_type_name()) +
                  "; return ;;\n";
    }
    option_arms += "    " + name + ") options=\"" + options.substr(1) + "\" ;;\n";
    if (!values.empty()) value_arms += "    " + name + ")\n      case $prev in\n" + values + "      esac ;;\n";
  }
  return "# bash completion for kvx-host; made by `kvx-host completion`.\n"
         "_kvx_host_shaders() {\n"
         "  COMPREPLY=($(compgen -W \"$(\"${COMP_WORDS[0]}\" list 2>/dev/null | awk '$1 ~ /^[0-9]+$/ {print $2}')\" "
         "-- \"$cur\"))\n"
         "}\n"
         "_kvx_host_files() {\n"
         "  compopt -o filenames 2>/dev/null\n"
         "  COMPREPLY=($(compgen \"$1\" -- \"$cur\"))\n"
         "}\n"
         "_kvx_host() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command=${COMP_WORDS[1]} options\n"
         "  if ((COMP_CWORD == 1)); then\n"
         "    COMPREPLY=($(compgen -W \"" + commands.substr(1) + " --help --version\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  case $command in\n" + value_arms + "  esac\n"
         "  case $command in\n" + option_arms + "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  case $command in\n" + positional_arms + "  esac\n"
         "  COMPREPLY=()\n"
         "}\n"
         "complete -F _kvx_host kvx-host\n";
}

}  // namespace

void add_completion(CLI::App& app, Run& run) {
  auto* command = app.add_subcommand("completion", "print a bash completion script for kvx-host");
  command->callback([&app, &run] {
    run = [&app] {
      std::fputs(script(app).c_str(), stdout);
      return 0;
    };
  });
}

}  // namespace kvx::commands
