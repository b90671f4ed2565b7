// kvx-host serve over HTTP, as the page and as a hostile page would speak to
// it: pictures with the bits `kvx-host shade` writes, its messages, Save, and
// every kind of request it must refuse without stopping.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "command.h"
#include "images.h"

namespace kvx::test {
namespace {

using Json = nlohmann::json;

// kvx-host serve in a process of its own, ended with the test.
class Server {
 public:
  explicit Server(std::vector<std::string> arguments) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      int const null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      std::vector<char*> argv{const_cast<char*>(KVX_HOST_PATH), const_cast<char*>("serve")};
      for (auto& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(KVX_HOST_PATH, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    address_ = line;
    auto const colon = line.rfind(':');
    port_ = colon == std::string::npos ? 0 : std::stoi(line.substr(colon + 1));
  }
  ~Server() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Server(Server const&) = delete;
  Server& operator=(Server const&) = delete;

  std::string const& address() const { return address_; }
  httplib::Client client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(60);
    return c;
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  std::string address_;
  int port_ = 0;
};

httplib::Result post(Server const& server, char const* path, std::string const& body,
                     httplib::Headers const& headers = {}) {
  return server.client().Post(path, headers, body, "application/json");
}

// The picture an answer holds: what it is, and its floats.
struct Picture {
  Json about;
  std::vector<float> floats;
};

Picture picture_of(httplib::Result const& answer) {
  std::string const& body = answer->body;
  std::uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(body[static_cast<std::size_t>(i)]);
  Picture picture{Json::parse(body.substr(4, length)), {}};
  picture.floats.resize((body.size() - 4 - length) / sizeof(float));
  std::memcpy(picture.floats.data(), body.data() + 4 + length, picture.floats.size() * sizeof(float));
  return picture;
}

std::string const distance_network =
    "shader State_parametric_uv uv\nshader Math_float2_distance d\nconnect uv.result d.from\noutput d\n";

struct Folder {
  std::filesystem::path path = std::filesystem::temp_directory_path() / ("kvx-serve-" + std::to_string(::getpid()));
  Folder() { std::filesystem::create_directories(path); }
  ~Folder() { std::filesystem::remove_all(path); }
};

TEST(Serve, ThePictureHoldsTheBitsShadeWritesAndTheErrorItsMessage) {
  Folder folder;
  auto const file = folder.path / "d.kvx";
  std::ofstream(file) << distance_network;
  Server server({file.string(), "-g", "24", "16", "--threads", "2"});
  ASSERT_EQ(server.address(), "http://" + server.host() + "/");

  auto const answer = post(server, "/api/shade", Json{{"text", distance_network}, {"path", "both"}}.dump());
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200) << answer->body;
  Picture const picture = picture_of(answer);
  EXPECT_EQ(picture.about["instance"], "d");
  EXPECT_EQ(picture.about["mismatches"].size(), 0u);
  ASSERT_EQ(picture.floats.size(), 24u * 16u);
  auto const exr_file = (folder.path / "d.exr").string();
  ASSERT_EQ(kvx_host("shade " + file.string() + " -g 24 16 -o " + exr_file).status, 0);
  Exr const exr = read_exr(exr_file);
  EXPECT_EQ(bits_text(picture.floats), bits_text(exr.planes[0]));

  std::string const wrong = distance_network + "param d.to 1\n";
  std::ofstream(file) << wrong;
  auto const refused = post(server, "/api/shade", Json{{"text", wrong}}.dump());
  Json const error = Json::parse(refused->body);
  Command_run const shade = run_shell("cd " + folder.path.string() + " && " KVX_HOST_PATH " shade d.kvx");
  ASSERT_EQ(shade.status, 2);
  EXPECT_EQ("kvx-host: " + error["error"].get<std::string>() + "\n", shade.output);
  EXPECT_EQ(error["line"], 5);
}

TEST(Serve, SaveReplacesTheNamedFileAndNoOther) {
  Folder folder;
  auto const file = folder.path / "saved.kvx";
  Server server({file.string(), "-g", "8", "8"});
  auto const saved = post(server, "/api/save", Json{{"text", distance_network}}.dump());
  ASSERT_EQ(saved->status, 200) << saved->body;
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), distance_network);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1) << "no temporary file left";
  EXPECT_EQ(Json::parse(server.client().Get("/api/network")->body)["text"], distance_network)
      << "a page loaded again starts from the text saved";

  Server unnamed({"-g", "8", "8"});
  auto const refused = post(unnamed, "/api/save", Json{{"text", distance_network}}.dump());
  EXPECT_EQ(refused->status, 409);
  EXPECT_NE(refused->body.find("download"), std::string::npos);
}

TEST(Serve, ANewerShadingRequestAbandonsTheOneRunning) {
  Server server({"-g", "8", "8", "--threads", "1"});
  std::string chain = "shader State_parametric_uv uv\nshader Math_float2_distance d0\nconnect uv.result d0.from\n";
  for (int i = 1; i < 40; ++i)
    chain += "shader Math_float_sin d" + std::to_string(i) + "\nconnect d" + std::to_string(i - 1) + ".result d" +
             std::to_string(i) + ".input\n";
  chain += "output d39\n";
  auto slow = std::async(std::launch::async, [&] {
    return post(server, "/api/shade", Json{{"text", chain}, {"width", 8192}, {"height", 1024}}.dump());
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));
  auto const quick = post(server, "/api/shade", Json{{"text", distance_network}}.dump());
  EXPECT_EQ(quick->status, 200);
  auto const abandoned = slow.get();
  ASSERT_TRUE(abandoned);
  EXPECT_EQ(abandoned->status, 409) << abandoned->body.substr(0, 200);
}

struct Refused {
  char const* what;
  int status;
  char const* message;
  std::function<httplib::Result(Server const&)> send;
};

TEST(Serve, RefusesWhatItMustWithAMessageAndGoesOn) {
  Server server({"-g", "8", "8"});
  std::string const good = Json{{"text", distance_network}}.dump();
  Refused const cases[] = {
      {"a foreign Host", 403, "is not this server's",
       [&](Server const& s) { return post(s, "/api/shade", good, {{"Host", "example.com"}}); }},
      {"a foreign Origin", 403, "are refused",
       [&](Server const& s) { return post(s, "/api/shade", good, {{"Origin", "http://example.com"}}); }},
      {"a foreign Origin on a GET", 403, "are refused",
       [&](Server const& s) { return s.client().Get("/api/network", {{"Origin", "http://127.0.0.1:1"}}); }},
      {"a body over the limit", 413, "over the limit of 8 MiB",
       [&](Server const& s) { return post(s, "/api/shade", std::string(9u << 20, ' ')); }},
      {"an unknown route", 404, "no such route: GET /etc/passwd",
       [&](Server const& s) { return s.client().Get("/etc/passwd"); }},
      {"a GET of a POST route", 404, "no such route",
       [&](Server const& s) { return s.client().Get("/api/shade"); }},
      {"a body that is not JSON", 400, "not valid JSON",
       [&](Server const& s) { return post(s, "/api/shade", "{\"text\":"); }},
      {"JSON that is not an object", 400, "must be a JSON object",
       [&](Server const& s) { return post(s, "/api/shade", "[1, 2]"); }},
      {"a body of another type", 415, "must be JSON",
       [&](Server const& s) { return s.client().Post("/api/shade", good, "text/plain"); }},
      {"text that is not a string", 400, "'text' must be a string",
       [&](Server const& s) { return post(s, "/api/shade", R"({"text": 7})"); }},
      {"a grid over the limit", 400, "'width' must be a whole number from 1 to 8192",
       [&](Server const& s) { return post(s, "/api/shade", Json{{"text", "x"}, {"width", 8193}}.dump()); }},
      {"a grid of no points", 400, "'height' must be a whole number from 1 to 8192",
       [&](Server const& s) { return post(s, "/api/shade", Json{{"text", "x"}, {"height", 0}}.dump()); }},
      {"an unknown path", 400, "'path' takes c, cpp or both",
       [&](Server const& s) { return post(s, "/api/shade", Json{{"text", "x"}, {"path", "gpu"}}.dump()); }},
      {"a point off the grid", 400, "'x' must be a whole number from 0 to 7",
       [&](Server const& s) {
         return post(s, "/api/point", Json{{"text", distance_network}, {"x", 8}, {"y", 0}}.dump());
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const answer = c.send(server);
    ASSERT_TRUE(answer) << "no answer";
    EXPECT_EQ(answer->status, c.status);
    EXPECT_NE(answer->body.find(c.message), std::string::npos) << answer->body;
    auto const still = server.client().Get("/api/network");
    ASSERT_TRUE(still) << "the server stopped";
    EXPECT_EQ(still->status, 200);
  }
}

}  // namespace
}  // namespace kvx::test
