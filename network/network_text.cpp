// SPDX-License-Identifier: Apache-2.0
#include <network/network_text.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <network/printable.h>
#include <network/suggestions.h>
#include <network/values.h>

namespace kvx::network {

namespace {

bool is_instance_name(std::string_view name) {
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

std::string in_quotes(std::string_view text) {
  std::string quoted = "'";  // appended: GCC 12 warns wrongly of "'" + a temporary
  return quoted.append(printable(text)).append("'");
}

std::string too_large() {
  return "larger than " + std::to_string(Network_text::max_bytes >> 20) + " MiB, the most a network may be";
}

std::string parameter_names(catalogue::Shader const& shader) {
  if (!shader.parameter_count) return "it has none";
  std::string names = "its parameters are";
  for (auto const& p : shader.parameters())
    names += (&p == shader.parameter_list.data() ? " " : ", ") + std::string(p.name);
  return names;
}

// "1, 2, 3" arrives as three words; they are one value when every break
// between them is beside a comma.
std::optional<std::string> joined_value(std::vector<std::string_view> const& words, std::size_t first) {
  std::string value(words[first]);
  for (std::size_t i = first + 1; i < words.size(); ++i) {
    if (value.back() != ',' && words[i].front() != ',') return std::nullopt;
    value += words[i];
  }
  return value;
}

// The instance of an INSTANCE.PARAMETER text.
std::string instance_of(std::string const& reference) { return reference.substr(0, reference.find('.')); }

std::vector<std::string_view> split_words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i == line.size()) return words;
    std::size_t const start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    words.push_back(line.substr(start, i - start));
  }
}

}  // namespace

void Network_text::statement(std::vector<std::string_view> const& words, Location const& at) {
  if (words.empty()) return;
  std::string_view const keyword = words[0];
  auto arity = [&](std::size_t n, char const* form) {
    if (words.size() != n + 1) throw Network_error(at, std::string(keyword) + " takes " + form);
  };
  if (keyword == "shader") {
    arity(2, "NAME INSTANCE");
    add_shader(words[1], words[2], at);
  } else if (keyword == "param") {
    if (words.size() < 3) throw Network_error(at, "param takes INSTANCE.PARAMETER VALUE");
    auto const value = joined_value(words, 2);
    if (!value) throw Network_error(at, "param takes one value: components are separated by commas");
    set_param(words[1], *value, at);
  } else if (keyword == "connect" || keyword == "splat") {
    arity(2, "INSTANCE.result INSTANCE.PARAMETER");
    add_connection(words[1], words[2], keyword == "splat", at);
  } else if (keyword == "output") {
    arity(1, "INSTANCE");
    set_output(words[1], at);
  } else {
    throw Network_error(at, "unknown statement " + in_quotes(keyword) + " (shader, param, connect, splat, output)");
  }
}

unsigned Network_text::read(std::string_view text, std::string const& source) {
  if (text.size() > max_bytes) throw Network_error({source, 0}, too_large());
  // A UTF-8 byte order mark, as some editors write, is no statement.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (std::size_t const end = end_of_text(text); end < text.size()) {
    auto const line =
        static_cast<unsigned>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n') + 1);
    throw Network_error({source, line}, "not text: the byte " + printable(text.substr(end, 1)) +
                                            " (a network is plain text, one statement a line)");
  }
  // The lines below the one read, for messages about what they make.
  struct Ahead {
    std::string_view& text;
    ~Ahead() { text = {}; }
  } const ahead{ahead_};
  unsigned line = 0;
  while (!text.empty()) {
    ++line;
    std::size_t const end = text.find('\n');
    std::string_view content = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ahead_ = text;
    content = content.substr(0, content.find('#'));
    statement(split_words(content), {source, line});
  }
  return line;
}

unsigned Network_text::read_file(std::string const& path) { return read(file_text(path), path); }

std::string Network_text::file_text(std::string const& path) {
  std::error_code error;
  auto const status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) throw Network_error({path, 0}, "is a directory, not a network file");
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, error) > max_bytes)
    throw Network_error({path, 0}, too_large());
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) throw Network_error({path, 0}, std::string("cannot read: ") + std::strerror(errno));
  return std::move(text).str();
}

Network_text::Result Network_text::finish(Location const& end) const {
  if (!output_) {
    finish_checks();
    throw Network_error(end, "no output: name the instance to shade with 'output INSTANCE'");
  }
  return finish(end, output_->first);
}

Network_text::Result Network_text::finish(Location const& end, std::string_view shown) const {
  finish_checks();
  auto const it = instances_.find(std::string(shown));
  if (it == instances_.end()) throw Network_error(end, "no instance " + in_quotes(shown));
  return {network_, it->second.node, *it->second.shader, it->first};
}

void Network_text::finish_checks() const {
  if (auto const cycle = first_cycle())
    throw Network_error(cycle->at, "connecting " + cycle->from_text + " to " + cycle->to_text + " makes a cycle: " +
                                       instance_of(cycle->to_text) + " already feeds " + instance_of(cycle->from_text));
}

std::vector<Network_text::Made> Network_text::instances() const {
  std::vector<Made> made;
  for (auto const& [name, instance] : instances_) made.push_back({name, instance.shader, instance.line});
  std::sort(made.begin(), made.end(), [](Made const& a, Made const& b) { return a.line < b.line; });
  return made;
}

std::string Network_text::name_of(Network::Node node) const {
  for (auto const& [name, instance] : instances_)
    if (instance.node == node) return name;
  return {};
}

std::optional<Network::Node> Network_text::node(std::string_view name) const {
  auto const it = instances_.find(std::string(name));
  if (it == instances_.end()) return std::nullopt;
  return it->second.node;
}

void Network_text::add_shader(std::string_view shader, std::string_view name, Location const& at) {
  auto const* row = catalogue::find(shader);
  if (!row) {
    auto const meant = shader_suggestions(shader);
    throw Network_error(at, "unknown shader " + in_quotes(shader) + asking(meant), shader, meant);
  }
  if (!is_instance_name(name))
    throw Network_error(at, in_quotes(name) + " is not an instance name (letters, digits and _, not first a digit)");
  if (auto it = instances_.find(std::string(name)); it != instances_.end())
    throw Network_error(at, "instance " + in_quotes(name) + " is already made, on line " +
                                std::to_string(it->second.line));
  instances_.emplace(std::string(name), Instance{network_.add(shader), row, at.line, {}});
}

Network_text::Reference Network_text::reference(std::string_view text, Location const& at) {
  auto const dot = text.find('.');
  if (dot == std::string_view::npos) throw Network_error(at, in_quotes(text) + " is not INSTANCE.PARAMETER");
  std::string const instance_name(text.substr(0, dot));
  std::string const parameter(text.substr(dot + 1));
  auto it = instances_.find(instance_name);
  if (it == instances_.end()) unknown_instance(instance_name, at);
  Instance& instance = it->second;
  if (parameter == "result") return {&instance, instance_name, nullptr, parameter};
  std::vector<std::string_view> known{"result"};
  for (auto const& p : instance.shader->parameters()) {
    if (p.name == parameter) return {&instance, instance_name, &p, parameter};
    known.push_back(p.name);
  }
  auto const meant = nearest_names(parameter, known);
  std::string message = instance_name + " (" + std::string(instance.shader->name) + ") has no parameter ";
  message.append(in_quotes(parameter));
  if (meant.empty())
    message.append(": ").append(parameter_names(*instance.shader));
  else
    message.append(asking(meant)).append(" (").append(parameter_names(*instance.shader)).append(")");
  throw Network_error(at, message, parameter, meant);
}

// An instance no line above made: perhaps one below does, or the name is a slip.
void Network_text::unknown_instance(std::string_view name, Location const& at) const {
  std::string_view rest = ahead_;
  for (unsigned line = at.line + 1; !rest.empty(); ++line) {
    std::size_t const end = rest.find('\n');
    std::string_view content = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    auto const words = split_words(content.substr(0, content.find('#')));
    if (words.size() == 3 && words[0] == "shader" && words[2] == name)
      throw Network_error(at, "instance " + in_quotes(name) + " is made below, on line " + std::to_string(line) +
                                  ": make an instance above the lines that use it");
  }
  std::vector<std::string_view> known;
  for (auto const& [made, instance] : instances_) known.push_back(made);
  std::sort(known.begin(), known.end());
  auto const meant = nearest_names(name, known);
  throw Network_error(at, "unknown instance " + in_quotes(name) + asking(meant), name, meant);
}

unsigned& Network_text::set_line(Reference const& target) const {
  return target.instance
      ->set_at[static_cast<std::size_t>(target.parameter - target.instance->shader->parameter_list.data())];
}

// A parameter takes one constant or one connection, once. Checked before
// anything changes, so a refused statement leaves the network as it was.
void Network_text::check_unset(Reference const& target, Location const& at) const {
  auto name = [&] { return target.instance_name + "." + target.parameter_name; };
  if (!target.parameter) throw Network_error(at, name() + " is the instance's result, not a parameter");
  if (unsigned const line = set_line(target))
    throw Network_error(at, name() + " is already set, on line " + std::to_string(line));
}

void Network_text::set_param(std::string_view target_text, std::string_view value, Location const& at) {
  Reference const target = reference(target_text, at);
  check_unset(target, at);
  auto const parsed = parse_value(target.parameter->type, value);
  if (!parsed.value) throw Network_error(at, std::string(target_text) + ": " + parsed.error);
  set_line(target) = at.line;
  network_.set(target.instance->node, target.parameter_name, *parsed.value);
}

// The connection that first closes a cycle, in the order they were made, if
// any does: with connections checked as they come, that is the statement that
// would have been refused. Kahn's walk tells in linear time whether the first
// `count` connections hold a cycle; a binary search over `count` finds the
// first that does, only when there is one.
std::optional<Network_text::Connection> Network_text::first_cycle() const {
  std::size_t const size = instances_.size();
  auto has_cycle = [&](std::size_t count) {
    std::vector<unsigned> inputs(size, 0), first(size + 1, 0), targets(count);
    for (std::size_t e = 0; e < count; ++e) ++first[connections_[e].from + 1], ++inputs[connections_[e].to];
    for (std::size_t v = 0; v < size; ++v) first[v + 1] += first[v];
    std::vector<unsigned> fill(first.begin(), first.end() - 1);
    for (std::size_t e = 0; e < count; ++e) targets[fill[connections_[e].from]++] = connections_[e].to;
    std::vector<Network::Node> ready;
    for (Network::Node v = 0; v < size; ++v)
      if (inputs[v] == 0) ready.push_back(v);
    std::size_t reached = 0;
    while (!ready.empty()) {
      Network::Node const v = ready.back();
      ready.pop_back();
      ++reached;
      for (unsigned e = first[v]; e < first[v + 1]; ++e)
        if (--inputs[targets[e]] == 0) ready.push_back(targets[e]);
    }
    return reached < size;
  };
  if (!has_cycle(connections_.size())) return std::nullopt;
  std::size_t low = 1, high = connections_.size();  // has_cycle(high), and not before low
  while (low < high) {
    std::size_t const middle = low + (high - low) / 2;
    has_cycle(middle) ? high = middle : low = middle + 1;
  }
  return connections_[high - 1];
}

void Network_text::add_connection(std::string_view from, std::string_view to, bool splat, Location const& at) {
  Reference const source = reference(from, at);
  if (source.parameter) throw Network_error(at, "a connection starts at INSTANCE.result, not " + in_quotes(from));
  Reference const target = reference(to, at);
  catalogue::Type const given = source.instance->shader->result;
  if (target.parameter) {
    catalogue::Type const wanted = target.parameter->type;
    std::string const types = std::string(from) + " (" + std::string(catalogue::name(given)) + ") to " +
                              std::string(to) + " (" + std::string(catalogue::name(wanted)) + ")";
    if (splat &&
        (given != catalogue::Type::float_ || catalogue::kind(wanted) != catalogue::Kind::real || is_scalar(wanted)))
      throw Network_error(at, "cannot splat " + types + ": splat takes a float into a vector or color");
    if (!splat && given != wanted) {
      bool const could_splat =
          given == catalogue::Type::float_ && catalogue::kind(wanted) == catalogue::Kind::real && !is_scalar(wanted);
      throw Network_error(at, "cannot connect " + types + ": the types differ" +
                                  (could_splat ? " (splat repeats a float into every component)" : ""));
    }
  }
  check_unset(target, at);
  if (source.instance == target.instance)
    throw Network_error(at, "connecting " + std::string(from) + " to " + std::string(to) + " makes a cycle: " +
                                target.instance_name + " would feed itself");
  set_line(target) = at.line;
  network_.connect(target.instance->node, target.parameter_name, source.instance->node, splat);
  // Cycles through other instances are found once the network is whole.
  connections_.push_back({source.instance->node, target.instance->node, std::string(from), std::string(to), at});
}

void Network_text::set_output(std::string_view name, Location const& at) {
  if (!instances_.contains(std::string(name))) unknown_instance(name, at);
  if (output_)
    throw Network_error(at, "the output is already " + in_quotes(output_->first) + ", on line " +
                                std::to_string(output_->second));
  output_.emplace(std::string(name), at.line);
}

}  // namespace kvx::network
