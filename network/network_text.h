// SPDX-License-Identifier: Apache-2.0
// A shading network as its author writes it: plain text, one statement a line,
// or the same statements one by one (from a command line, from Python).
//
//   shader NAME INSTANCE                 an instance of a library shader
//   param  INSTANCE.PARAMETER VALUE      a constant, written as `kvx-host eval` takes it
//   connect INSTANCE.result INSTANCE.PARAMETER   a result into a parameter of its type
//   splat  INSTANCE.result INSTANCE.PARAMETER    a float result into every component
//   output INSTANCE                      the instance that is shaded
//   # a comment, to the end of the line
//
// Each statement is checked as it comes, against the catalogue and the
// statements before it; the first bad one stops the network with a
// Network_error naming where it stood.
#pragma once

#include <array>
#include <unordered_map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <catalogue/catalogue.h>
#include <host/library.h>
#include <network/network.h>

namespace kvx::network {

// Where a statement stood: "checker.kvx:12", "command line:4". Line 0 names
// the whole source.
struct Location {
  std::string source;
  unsigned line = 0;

  std::string text() const { return line ? source + ":" + std::to_string(line) : source; }
};

// what() is "source:line: message".
class Network_error : public std::invalid_argument {
 public:
  Network_error(Location where, std::string const& message)
      : std::invalid_argument(where.text() + ": " + message), location(std::move(where)), message(message) {}
  // A name the text gives that nothing knows, and the names it may have meant
  // (which the message lists too), for tools that offer them.
  Network_error(Location where, std::string const& message, std::string_view unknown,
                std::vector<std::string_view> const& suggestions)
      : Network_error(std::move(where), message) {
    this->unknown = unknown;
    this->suggestions.assign(suggestions.begin(), suggestions.end());
  }
  Location location;
  std::string message;
  std::string unknown;
  std::vector<std::string> suggestions;
};

class Network_text {
 public:
  explicit Network_text(host::Library const& library) : network_(library) {}

  // One statement, keyword first.
  void statement(std::vector<std::string_view> const& words, Location const& at);
  // The largest network text read: far above any network a person writes,
  // and enough for machine-made ones of a hundred thousand instances.
  static constexpr std::size_t max_bytes = std::size_t{64} << 20;

  // Every statement of a text; lines are numbered from 1. Returns the number
  // of lines read. Text over max_bytes, or bytes that are not text (binary
  // data, a mistaken file), are a Network_error.
  unsigned read(std::string_view text, std::string const& source);
  // read() of a file's contents; a directory, an unreadable file or one over
  // max_bytes is a Network_error.
  unsigned read_file(std::string const& path);
  // A file's contents as read_file takes them, with its errors.
  static std::string file_text(std::string const& path);

  // The checked network with its output; a Network_error at `end` if no
  // statement named the output.
  struct Result {
    Network const& network;
    Network::Node output;
    catalogue::Shader const& shader;  // the output instance's shader
    std::string const& name;          // and its instance name
  };
  Result finish(Location const& end) const;
  // The same with the named instance as its output, as if an output
  // statement named it; a Network_error at `end` if there is none of that name.
  Result finish(Location const& end, std::string_view shown) const;

  // The instances made, in the order of the lines that made them.
  struct Made {
    std::string name;
    catalogue::Shader const* shader;
    unsigned line;
  };
  std::vector<Made> instances() const;
  // The network's node of a named instance, if the text made it, and the
  // name of a node (empty for one it did not make).
  std::optional<Network::Node> node(std::string_view name) const;
  std::string name_of(Network::Node node) const;

 private:
  struct Instance {
    Network::Node node;
    catalogue::Shader const* shader;
    unsigned line;                              // where it was made
    std::array<unsigned, catalogue::max_parameters> set_at{};  // by parameter: the line that set it, or 0
  };
  // A connection as its statement gave it.
  struct Connection {
    Network::Node from, to;
    std::string from_text, to_text;  // INSTANCE.result, INSTANCE.PARAMETER
    Location at;
  };
  struct Reference {
    Instance* instance;
    std::string instance_name;
    catalogue::Parameter const* parameter;  // null for "result"
    std::string parameter_name;
  };

  void add_shader(std::string_view shader, std::string_view name, Location const& at);
  void set_param(std::string_view target, std::string_view value, Location const& at);
  void add_connection(std::string_view from, std::string_view to, bool splat, Location const& at);
  void set_output(std::string_view name, Location const& at);
  Reference reference(std::string_view text, Location const& at);
  [[noreturn]] void unknown_instance(std::string_view name, Location const& at) const;
  void check_unset(Reference const& target, Location const& at) const;
  unsigned& set_line(Reference const& target) const;
  std::optional<Connection> first_cycle() const;
  void finish_checks() const;  // what a whole network must be, whatever its output

  Network network_;
  std::unordered_map<std::string, Instance> instances_;
  std::optional<std::pair<std::string, unsigned>> output_;  // instance, line
  std::vector<Connection> connections_;
  std::string_view ahead_;  // while read() runs: the text below the line it reads
};

}  // namespace kvx::network
