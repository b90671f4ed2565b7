// SPDX-License-Identifier: Apache-2.0
// kvx-host: the reference host as a command-line tool. It loads the plug-in
// library with dlopen, exactly as a renderer would, and drives it only through
// its exported interface.
#include <cstdio>
#include <exception>
#include <string>

#include <host/library.h>
#include <network/printable.h>

#include "command_line.h"
#include "commands.h"
#include "library_version.h"

namespace {

// This tool's version, then the library's: where it was loaded from and what
// it says of itself.
std::string version_text() {
  std::string text = "kvx-host " KVX_VERSION "\n";
  try {
    kvx::host::Library const library;
    return text + "library " + library.path() + ": " + kvx::commands::library_version(library);
  } catch (std::exception const& e) {
    return text + "library not loaded: " + kvx::network::printable(e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kvx::commands;
  CLI::App app("Drives the kvx base shader library through its exported interface, as a renderer does.",
               "kvx-host");
  app.formatter(std::make_shared<Help_formatter>());
  app.set_help_flag("-h,--help", "print this help and exit");
  app.allow_extras();
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", version_text, "print kvx-host's version and the library's, and exit");
  Run run;
  add_list(app, run);
  add_describe(app, run);
  add_eval(app, run);
  add_render(app, run);
  add_shade(app, run);
  add_gallery(app, run);
  add_serve(app, run);
  add_completion(app, run);
  app.footer(
      "Each command's options: kvx-host COMMAND --help.\n\n"
      "The library is the one built or installed beside kvx-host, or the file KVX_LIBRARY names.\n\n"
      "Exit status: 0 done, 1 the library failed or the two paths differed, 2 the command line or the input was "
      "wrong.");

  try {
    app.parse(argc, argv);
  } catch (CLI::CallForHelp const& e) {
    return app.exit(e);
  } catch (CLI::CallForVersion const& e) {
    return app.exit(e);
  } catch (CLI::ParseError const& e) {
    return usage_error(parse_error_message(app, e));
  }
  if (auto const problem = unexpected_argument(app)) return usage_error(*problem);
  if (!run) {
    std::fputs(app.help().c_str(), stderr);
    return 2;
  }
  try {
    return run();
  } catch (std::exception const& e) {
    std::fprintf(stderr, "kvx-host: %s\n", kvx::network::printable(e.what()).c_str());
    return 1;
  }
}
