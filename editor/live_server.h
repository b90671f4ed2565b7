// SPDX-License-Identifier: Apache-2.0
// The live editor's web server: the page, the catalogue, the network file,
// and shading of the text the page sends, on a local port (docs/kvx-host.md,
// serve).
//
// Safe by default: it listens on 127.0.0.1 unless told otherwise, and alone
// on its port; it answers only requests whose Host (and Origin, where given)
// is its own address, so that a page elsewhere cannot drive it; it refuses
// bodies, grids and pictures over the limits of network/limits.h; no client
// can hold it (editor/http_server.h). No
// request names a file: the page reads and saves the file named when the
// server started, and only that one, never over a change made since the page
// read it (editor/network_file.h). A malformed request gets a 4xx answer with
// a message; nothing a request holds stops the server.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <host/library.h>
#include <network/grid.h>

namespace kvx::editor {

struct Server_options {
  std::string bind = "127.0.0.1";
  int port = 0;  // 0: a free one
  network::Grid grid{256, 256};
  unsigned threads = 1;
  std::optional<std::filesystem::path> file;  // the network named on the command line
  // What the pictures being shaded and sent may take at once; a request past
  // it waits its turn.
  std::size_t picture_memory = std::size_t{1} << 30;
};

class Live_server {
 public:
  // Listens at once. Throws std::runtime_error, with a one-line message,
  // when it cannot, or when the file cannot be edited.
  Live_server(host::Library const& library, Server_options options);
  ~Live_server();
  Live_server(Live_server const&) = delete;
  Live_server& operator=(Live_server const&) = delete;

  // "http://127.0.0.1:PORT/"
  std::string address() const;
  // Serves until the process ends.
  void run();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kvx::editor
