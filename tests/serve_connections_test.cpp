// SPDX-License-Identifier: Apache-2.0
// kvx-host serve against careless and hostile clients: a second server on its
// port, clients that send slowly or nothing, clients that go away, and pages
// that shade at once.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "command.h"
#include "serving.h"

namespace kvx::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A plain TCP connection to the server, closed with the test.
class Socket {
 public:
  explicit Socket(int port) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ADD_FAILURE() << "connect";
  }
  ~Socket() { close(); }
  Socket(Socket&& other) noexcept : socket_(std::exchange(other.socket_, -1)) {}
  Socket(Socket const&) = delete;

  void send(std::string const& bytes) const { (void)::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // Whether the server closed (or answered and closed) within `limit`.
  bool closed_within(std::chrono::seconds limit) const {
    timeval wait{static_cast<time_t>(limit.count()), 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[4096];
    for (ssize_t n; (n = ::recv(socket_, buffer, sizeof buffer, 0)) != 0;)
      if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
    return true;
  }
  // Everything the server sends until it closes, or `limit` passes.
  std::string answers(std::chrono::seconds limit) const {
    timeval wait{static_cast<time_t>(limit.count()), 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(socket_, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, std::size_t(n));
    return received;
  }
  void close() {
    if (socket_ >= 0) ::close(std::exchange(socket_, -1));
  }

 private:
  int socket_;
};

std::string shade_request(Serving const& server, std::string const& body) {
  return "POST /api/shade HTTP/1.1\r\nHost: " + server.host() +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A network of 41 instances in a chain, slow enough to watch.
std::string chain_network() {
  std::string chain = "shader State_parametric_uv uv\nshader Math_float2_distance d0\nconnect uv.result d0.from\n";
  for (int i = 1; i < 40; ++i)
    chain += "shader Math_float_sin d" + std::to_string(i) + "\nconnect d" + std::to_string(i - 1) + ".result d" +
             std::to_string(i) + ".input\n";
  return chain + "output d39\n";
}

std::string const quick_network = "shader State_parametric_uv uv\noutput uv\n";

TEST(ServeConnections, ASecondServerOnThePortIsRefused) {
  Serving first({"-g", "8", "8"});
  std::string const port = std::to_string(first.port());
  Command_run const second = run_shell("timeout 20 " KVX_HOST_PATH " serve --port " + port);
  EXPECT_EQ(second.status, 2);
  EXPECT_EQ(count(second.output, "\n"), 1u) << second.output;
  EXPECT_NE(second.output.find("cannot listen on 127.0.0.1:" + port), std::string::npos) << second.output;
  auto const still = first.client().Get("/api/file");
  ASSERT_TRUE(still);
  EXPECT_EQ(still->status, 200);
}

TEST(ServeConnections, IdleAndSlowClientsHoldNothing) {
  Serving server({"-g", "8", "8"});
  std::vector<Socket> idle, slow;
  // More idle connections than the server has threads.
  for (int i = 0; i < 300; ++i) idle.emplace_back(server.port());
  for (int i = 0; i < 32; ++i) {
    slow.emplace_back(server.port());
    slow.back().send("GET /api/file HTTP/1.1\r\n");
  }
  // A header byte at a time, never ending the request.
  std::atomic<bool> done{false};
  std::thread drip([&] {
    while (!done) {
      for (auto const& s : slow) s.send("X");
      std::this_thread::sleep_for(500ms);
    }
  });
  std::this_thread::sleep_for(300ms);
  auto const start = Clock::now();
  auto const answer = server.client().Get("/api/file");
  auto const took = Clock::now() - start;
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_LT(took, 1s) << "answered in " << std::chrono::duration<double>(took).count() << " s";
  EXPECT_TRUE(slow.front().closed_within(15s)) << "a request that never ends is dropped";
  EXPECT_TRUE(idle.front().closed_within(15s)) << "a connection that asks nothing is dropped";
  done = true;
  drip.join();
}

// A request the server cannot read to its end gets one answer, and the
// connection closes: what follows it is never taken for a request.
TEST(ServeConnections, ARequestWithoutATrustworthyEndIsAnsweredOnceAndTheConnectionCloses) {
  Serving server({"-g", "8", "8"});
  std::string const host = "Host: " + server.host() + "\r\n";
  std::string const requests[] = {
      "GARBAGE\r\n" + host + "\r\nGET /api/file HTTP/1.1\r\n" + host + "\r\n",
      "POST /api/shade HTTP/1.1\r\n" + host + "Content-Type: application/json\r\nContent-Length: 2\r\n" +
          "Content-Length: 60\r\n\r\n{}GET /api/file HTTP/1.1\r\n" + host + "\r\n",
  };
  for (auto const& request : requests) {
    Socket socket(server.port());
    socket.send(request);
    std::string const received = socket.answers(10s);
    std::size_t answers = 0;
    for (std::size_t at = received.find("HTTP/1.1 "); at != std::string::npos; at = received.find("HTTP/1.1 ", at + 1))
      ++answers;
    EXPECT_EQ(answers, 1u) << received;
    EXPECT_EQ(received.rfind("HTTP/1.1 400", 0), 0u) << received;
  }
}

// Pictures shaded at once share the memory the server is given for them:
// past it, a request waits its turn, and every one is answered.
TEST(ServeConnections, ConcurrentPicturesWaitForTheirShareOfMemory) {
  Serving server({"-g", "1024", "1024", "--threads", "1", "--picture-memory", "16"});
  [[maybe_unused]] std::size_t const before = memory_kib(server.pid(), "VmRSS");
  std::vector<std::future<int>> answers;
  for (int i = 0; i < 6; ++i)
    answers.push_back(std::async(std::launch::async, [&server, i] {
      std::string text = "shader State_parametric_uv uv\nshader Math_color_add c";
      text.append(std::to_string(i)).append("\noutput c").append(std::to_string(i)).append("\n");
      auto const answer = server.post("/api/shade", Json{{"text", text}, {"path", "both"}});
      return answer ? answer->status : 0;
    }));
  for (auto& answer : answers) EXPECT_EQ(answer.get(), 200);
  // One 1024 × 1024 color picture (16 MiB of floats) at a time, not six;
  // a sanitizer's own memory would hide it.
#ifndef KVX_SANITIZED
  EXPECT_LT(memory_kib(server.pid(), "VmHWM") - before, 40u << 10);
#endif
}

TEST(ServeConnections, AClientThatGoesAwayStopsItsShading) {
  Serving server({"-g", "8", "8", "--threads", "1"});
  Socket client(server.port());
  client.send(shade_request(server, Json{{"text", chain_network()}, {"width", 1024}, {"height", 8192}, {"path", "c"}}.dump()));
  std::this_thread::sleep_for(1s);
  client.close();
  std::this_thread::sleep_for(500ms);
  double const before = processor_seconds(server.pid());
  std::this_thread::sleep_for(1s);
  EXPECT_LT(processor_seconds(server.pid()) - before, 0.25) << "still shading for a client that has gone";
}

TEST(ServeConnections, APagesNewerRequestAbandonsOnlyItsOwnOlderOne) {
  Serving server({"-g", "8", "8", "--threads", "1"});
  // Point by point through the C entries: slow enough to be abandoned.
  auto shade = [&](std::string const& page, std::string const& text, unsigned width, unsigned height) {
    return server.post("/api/shade",
                       Json{{"text", text}, {"page", page}, {"width", width}, {"height", height}, {"path", "c"}});
  };
  auto slow = std::async(std::launch::async, [&] { return shade("a", chain_network(), 1024, 2048); });
  std::this_thread::sleep_for(300ms);
  auto const other_page = shade("b", quick_network, 8, 8);
  EXPECT_EQ(other_page->status, 200);
  EXPECT_EQ(slow.wait_for(200ms), std::future_status::timeout) << "another page's request abandoned this one";
  auto const same_page = shade("a", quick_network, 8, 8);
  EXPECT_EQ(same_page->status, 200);
  auto const abandoned = slow.get();
  ASSERT_TRUE(abandoned);
  EXPECT_EQ(abandoned->status, 409) << abandoned->body.substr(0, 200);
  EXPECT_NE(abandoned->body.find("abandoned"), std::string::npos);
}

}  // namespace
}  // namespace kvx::test
