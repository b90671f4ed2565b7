// SPDX-License-Identifier: Apache-2.0
// kvx-host serve [NETWORK] [--port N] [--bind ADDRESS] [-g W H] [--threads N] [--picture-memory MIB]
//
// The live editor: a local web page with the network's text beside its
// picture, shaded through the library as the text changes. The first line on
// standard output is the page's address.
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <editor/live_server.h>
#include <host/library.h>

#include "command_line.h"
#include "commands.h"

namespace kvx::commands {

namespace {

struct Serve_options {
  std::optional<std::string> network_file;
  editor::Server_options server;
};

int serve(host::Library const& library, Serve_options o) {
  if (o.network_file) o.server.file = *o.network_file;
  std::optional<editor::Live_server> server;
  try {
    server.emplace(library, o.server);
  } catch (std::runtime_error const& e) {
    return usage_error(e.what());
  }
  std::printf("%s\n", server->address().c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "kvx-host: serving %s; stop with Ctrl-C\n",
               o.network_file ? o.network_file->c_str() : "a new network");
  server->run();
  return 0;
}

}  // namespace

void add_serve(CLI::App& app, Run& run) {
  auto o = std::make_shared<Serve_options>();
  o->server.threads = default_threads();
  auto* command = app.add_subcommand("serve", "edit a network in the browser, shaded live by the library");
  command->add_option("NETWORK", o->network_file, "the network file Save writes (made if it is not there)")
      ->type_name("FILE");
  command->add_option("--port", o->server.port, "the port to listen on, 0 for a free one")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  command->add_option("--bind", o->server.bind, "the address to listen on; only its own page may ask")
      ->type_name("ADDRESS");
  add_grid_option(*command, o->server.grid);
  add_threads_option(*command, o->server.threads);
  auto picture_memory = std::make_shared<std::size_t>(o->server.picture_memory >> 20);
  command->add_option("--picture-memory", *picture_memory,
                      "MiB the pictures being shaded and sent may take at once; past it a request waits its turn")
      ->type_name("MIB")
      ->check(CLI::Range(16, 1 << 20))
      ->capture_default_str();
  command->callback([o, picture_memory, &run] {
    o->server.picture_memory = *picture_memory << 20;
    run = [o] {
      host::Library const library;
      return serve(library, *o);
    };
  });
}

}  // namespace kvx::commands
