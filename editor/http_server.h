// SPDX-License-Identifier: Apache-2.0
// The live editor's HTTP server: cpp-httplib's parsing and routing over
// connections kept within bounds, so that no client can hold the server.
//
// Every connection has a thread of its own, up to `threads` at once. A request
// must arrive whole within `request` of its first byte, a kept-open
// connection with no request for `keep_alive` is closed (within a twentieth of a
// second while three quarters of the threads are taken, so that idle
// connections never keep a new request waiting), and an answer must be taken
// within `response`: a client that sends a header byte at a time,
// or opens connections and sends nothing, is dropped after a few seconds,
// while requests on other connections are answered at once. The listening
// socket is exclusive: a second server cannot take a port in use. A handler
// can ask whether the client it answers is still there.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

namespace kvx::editor {

struct Connection_limits {
  std::chrono::milliseconds request{5000};
  std::chrono::milliseconds keep_alive{5000};
  std::chrono::milliseconds response{30000};
  std::size_t requests = 100;  // on one connection, then it is closed
  std::size_t threads = 128;
};

class Http_server : public httplib::Server {
 public:
  explicit Http_server(Connection_limits limits = {});

  // Binds to the address and port (0: a free one) with room for many
  // connections at once; the port, or 0 with errno telling why not.
  int bind_exclusively(std::string const& address, int port);

  // From a handler: whether the client of the request this thread answers has
  // closed its connection (or the network has dropped it).
  static bool client_gone();
  // From a handler: the connection closes after this answer. For a request
  // whose end cannot be trusted (malformed, or its body's length given two
  // ways), whatever follows it is no request.
  static void close_after_answer();

 private:
  bool process_and_close_socket(socket_t socket) override;

  Connection_limits limits_;
  std::atomic<std::size_t> open_{0};  // connections on a thread now
};

}  // namespace kvx::editor
