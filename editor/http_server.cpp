// SPDX-License-Identifier: Apache-2.0
#include <editor/http_server.h>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>

namespace kvx::editor {
namespace {

using Clock = std::chrono::steady_clock;

// How often a connection waiting for its next request looks whether the
// server is stopping, or crowded.
constexpr std::chrono::milliseconds stop_check{50};
// How long a connection may wait for a request while most threads are taken:
// idle ones then give their threads to the connections queued behind them.
constexpr std::chrono::milliseconds crowded_wait{50};

int milliseconds_until(Clock::time_point deadline) {
  auto const left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60'000));
}

// Waits until the socket is ready for `events` or the deadline passes.
bool ready(int socket, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd wanted{socket, events, 0};
    int const n = ::poll(&wanted, 1, milliseconds_until(deadline));
    if (n > 0) return true;  // ready, or an error the next call reports
    if (n < 0 && errno != EINTR) return false;
    if (n == 0 && Clock::now() >= deadline) return false;
  }
}

void numeric_address(sockaddr_storage const& address, socklen_t length, std::string& ip, int& port) {
  char host[NI_MAXHOST], service[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<sockaddr const*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return;
  ip = host;
  port = std::atoi(service);
}

// One client's connection, read through a buffer (the HTTP library reads a
// request's head a byte at a time) with the limits' deadlines.
class Connection final : public httplib::Stream {
 public:
  Connection(int socket, Connection_limits const& limits) : socket_(socket), limits_(limits) {}

  // Waits for the first bytes of the next request, up to the keep-alive
  // limit, or briefly while the server is crowded; false when none come, the
  // client closes, or the server stops.
  bool next_request(std::function<bool()> const& stopping, std::function<bool()> const& crowded) {
    if (begin_ == end_) {
      auto const started = Clock::now();
      auto const deadline = started + limits_.keep_alive;
      for (;;) {
        if (stopping()) return false;
        if (ready(socket_, POLLIN, std::min(deadline, Clock::now() + stop_check))) break;
        if (Clock::now() >= deadline) return false;
        if (crowded() && Clock::now() - started >= crowded_wait) return false;
      }
    }
    read_deadline_ = Clock::now() + limits_.request;
    answering_ = false;
    return begin_ != end_ || fill() > 0;
  }

  // Whether the client has closed its side, or the connection is broken.
  // Bytes already sent (a next request) mean it is still there.
  // Whether a read failed: the client closed, or took too long to send its
  // request. Nothing more is read from such a connection.
  bool broken() const { return broken_; }

  bool client_gone() const {
    if (begin_ != end_) return false;
    char byte;
    ssize_t const n = ::recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }

  bool is_readable() const override { return begin_ != end_ || ready(socket_, POLLIN, read_deadline_); }
  bool is_writable() const override { return ready(socket_, POLLOUT, write_deadline()); }

  ssize_t read(char* data, size_t size) override {
    if (begin_ == end_) {
      ssize_t const n = fill();
      if (n <= 0) return n;
    }
    std::size_t const taken = std::min(size, end_ - begin_);
    std::memcpy(data, buffer_.data() + begin_, taken);
    begin_ += taken;
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(char const* data, size_t size) override {
    if (!ready(socket_, POLLOUT, write_deadline())) return -1;
    ssize_t n;
    do n = ::send(socket_, data, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
  socket_t socket() const override { return socket_; }

 private:
  // Reads what has arrived into the empty buffer, waiting up to the
  // request's deadline: the byte count, 0 when the client closed, -1 on
  // error or when time is up.
  ssize_t fill() {
    begin_ = end_ = 0;
    ssize_t n = -1;
    if (ready(socket_, POLLIN, read_deadline_)) {
      do n = ::recv(socket_, buffer_.data(), buffer_.size(), 0);
      while (n < 0 && errno == EINTR);
    }
    if (n > 0) end_ = static_cast<std::size_t>(n);
    else broken_ = true;
    return n;
  }

  // An answer's time starts at its first byte.
  Clock::time_point write_deadline() const {
    if (!answering_) {
      answering_ = true;
      write_deadline_ = Clock::now() + limits_.response;
    }
    return write_deadline_;
  }

  void address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (get(socket_, reinterpret_cast<sockaddr*>(&storage), &length) == 0) numeric_address(storage, length, ip, port);
  }

  int socket_;
  Connection_limits const& limits_;
  std::array<char, 4096> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  Clock::time_point read_deadline_{};  // of the request being read
  mutable Clock::time_point write_deadline_{};
  mutable bool answering_ = false;
  bool broken_ = false;
};

// The connection whose request this thread answers, for client_gone().
thread_local Connection const* answering = nullptr;
// Set by close_after_answer() while a request is answered.
thread_local bool closing = false;

}  // namespace

Http_server::Http_server(Connection_limits limits) : limits_(limits) {
  // Address reuse lets the server start again at once on a port its last
  // run left waiting; without port reuse, no other socket can listen there.
  set_socket_options([](socket_t socket) {
    int const yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  std::size_t const threads = limits_.threads;
  new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // What the answers' Keep-Alive header tells the client.
  set_keep_alive_max_count(limits_.requests);
  set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.keep_alive).count());
}

int Http_server::bind_exclusively(std::string const& address, int port) {
  errno = 0;
  int const bound = port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : 0);
  if (bound <= 0) return 0;
  // The HTTP library listens with a backlog of 5: a burst of connections
  // (a page's, or a careless client's) would wait seconds for the kernel to
  // try them again. Listening again sets a longer one.
  ::listen(svr_sock_, SOMAXCONN);
  return bound;
}

bool Http_server::client_gone() { return answering && answering->client_gone(); }

void Http_server::close_after_answer() { closing = true; }

bool Http_server::process_and_close_socket(socket_t socket) {
  bool served = false;
  struct Open {
    explicit Open(std::atomic<std::size_t>& count) : count_(count) { ++count_; }
    ~Open() { --count_; }
    std::atomic<std::size_t>& count_;
  } const open(open_);
  {
    Connection connection(socket, limits_);
    struct Answering {
      explicit Answering(Connection const& c) { answering = &c; }
      ~Answering() { answering = nullptr; }
    } const hold(connection);
    auto const stopping = [this] { return svr_sock_ == INVALID_SOCKET; };
    auto const crowded = [this] { return open_.load() * 4 >= limits_.threads * 3; };
    for (std::size_t n = 1; n <= limits_.requests && connection.next_request(stopping, crowded); ++n) {
      bool closed = false;
      closing = false;
      served = process_request(connection, n == limits_.requests, closed, nullptr);
      if (!served || closed || closing || connection.broken()) break;
    }
  }
  ::shutdown(socket, SHUT_RDWR);
  ::close(socket);
  return served;
}

}  // namespace kvx::editor
