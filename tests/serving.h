// SPDX-License-Identifier: Apache-2.0
// kvx-host serve in a process of its own, as a user starts it, ended with the
// test; and speaking HTTP to it as the page does.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace kvx::test {

using Json = nlohmann::json;

class Serving {
 public:
  // `environment`: variables set for the server, as NAME=VALUE.
  explicit Serving(std::vector<std::string> arguments, std::vector<std::string> environment = {});
  ~Serving();
  Serving(Serving const&) = delete;
  Serving& operator=(Serving const&) = delete;

  std::string const& address() const { return address_; }  // the first line it printed
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  httplib::Client client() const;

  // The body as it stands, or JSON.
  httplib::Result post_body(char const* path, std::string const& body, httplib::Headers const& headers = {}) const;
  httplib::Result post(char const* path, Json const& body) const { return post_body(path, body.dump()); }
  Json get_json(char const* path) const;

 private:
  pid_t pid_ = -1;
  std::string address_;
  int port_ = 0;
};

// A picture the server answers with: what it is, its floats, and with both
// paths, where they differ.
struct Served_picture {
  Json about;
  std::vector<float> floats;
  std::vector<std::uint8_t> differs;
};
Served_picture picture_of(httplib::Result const& answer);

// The seconds of processor time a process has used.
double processor_seconds(pid_t pid);
// A memory field of a process's status ("VmRSS", "VmHWM"), in KiB.
std::size_t memory_kib(pid_t pid, std::string const& field);

}  // namespace kvx::test
