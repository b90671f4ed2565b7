// SPDX-License-Identifier: Apache-2.0
#include "serving.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvx::test {

Serving::Serving(std::vector<std::string> arguments, std::vector<std::string> environment) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    int const null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    for (auto& variable : environment) ::putenv(variable.data());
    std::vector<char*> argv{const_cast<char*>(KVX_HOST_PATH), const_cast<char*>("serve")};
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(KVX_HOST_PATH, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') address_ += c;
  ::close(out[0]);
  auto const colon = address_.rfind(':');
  port_ = colon == std::string::npos ? 0 : std::atoi(address_.c_str() + colon + 1);
}

Serving::~Serving() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

httplib::Client Serving::client() const {
  httplib::Client c("127.0.0.1", port_);
  c.set_read_timeout(60);
  return c;
}

httplib::Result Serving::post_body(char const* path, std::string const& body, httplib::Headers const& headers) const {
  return client().Post(path, headers, body, "application/json");
}

Json Serving::get_json(char const* path) const {
  auto const answer = client().Get(path);
  return answer ? Json::parse(answer->body) : Json();
}

Served_picture picture_of(httplib::Result const& answer) {
  std::string const& body = answer->body;
  std::uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(body[static_cast<std::size_t>(i)]);
  Served_picture picture{Json::parse(body.substr(4, length)), {}, {}};
  std::size_t const points = picture.about["width"].get<std::size_t>() * picture.about["height"].get<std::size_t>();
  picture.floats.resize(points * picture.about["channels"].get<std::size_t>());
  std::size_t const floats = 4 + length;
  std::size_t const differs = floats + picture.floats.size() * sizeof(float);
  if (body.size() < differs) return picture;
  std::memcpy(picture.floats.data(), body.data() + floats, picture.floats.size() * sizeof(float));
  picture.differs.assign(body.begin() + static_cast<std::ptrdiff_t>(differs), body.end());
  return picture;
}

std::size_t memory_kib(pid_t pid, std::string const& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1));
  return 0;
}

double processor_seconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

}  // namespace kvx::test
