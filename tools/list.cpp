// kvx-host list [--json]: every shader the factory hands out, in index order.
#include <cstdio>
#include <memory>
#include <string>

#include <catalogue/catalogue.h>

#include "commands.h"
#include "values.h"

namespace kvx::tool {

namespace {

struct Release_plugin {
  void operator()(ZR::PLUG::Plugin* plugin) const { plugin->release(); }
};

constexpr std::string_view plugin_prefix = "softshader_";

std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string json_default(catalogue::Parameter const& p) {
  if (!p.has_default) return "null";
  std::string out = "[";
  for (unsigned i = 0; i < components(p.type); ++i) {
    if (i) out += ", ";
    char buffer[32];
    if (kind(p.type) == Kind::real) {
      float f;
      std::memcpy(&f, p.unset.data() + 4 * i, 4);
      std::snprintf(buffer, sizeof buffer, "%.9g", f);
    } else if (kind(p.type) == Kind::integer) {
      std::int32_t v;
      std::memcpy(&v, p.unset.data() + 4 * i, 4);
      std::snprintf(buffer, sizeof buffer, "%d", v);
    } else {
      std::snprintf(buffer, sizeof buffer, "%u", p.unset[i]);
    }
    out += buffer;
  }
  return out + "]";
}

std::string text_parameters(catalogue::Shader const& row) {
  std::string text;
  for (auto const& p : row.parameters()) {
    if (!text.empty()) text += ", ";
    text += std::string(p.name) + " " + std::string(name(p.type)) + " @" + std::to_string(p.offset);
    if (p.has_default) text += " =" + format_value(p.type, p.unset);
  }
  return text;
}

}  // namespace

int list(host::Library& library, Arguments arguments) {
  bool json = false;
  for (std::string_view a : arguments) {
    if (a == "--json") json = true;
    else return usage_error("list takes only --json, not '" + std::string(a) + "'");
  }
  std::string out;
  if (json) out = "{\n  \"schema\": \"kvx-host/list/1\",\n  \"library\": " + json_string(library.path()) + ",\n  \"shaders\": [";
  unsigned index = 0;
  for (;; ++index) {
    std::unique_ptr<ZR::PLUG::Plugin, Release_plugin> plugin{library.plugin(index)};
    if (!plugin) break;
    std::string_view name = plugin->get_name();
    if (name.starts_with(plugin_prefix)) name.remove_prefix(plugin_prefix.size());
    auto const* row = catalogue::find(name);
    if (!row) {
      std::fprintf(stderr, "kvx-host: plug-in %u, '%.*s', is not in this tool's catalogue\n", index,
                   int(name.size()), name.data());
      return 1;
    }
    if (!json) {
      std::printf("%3u  %-36s (%s) -> %s\n", index, std::string(name).c_str(), text_parameters(*row).c_str(),
                  std::string(kvx::name(row->result)).c_str());
      continue;
    }
    out += index ? ",\n    {" : "\n    {";
    out += "\"index\": " + std::to_string(index) + ", \"name\": " + json_string(name) +
           ", \"operation\": " + json_string(row->operation) +
           ", \"type\": " + (row->typed ? json_string(kvx::name(row->type)) : std::string("null")) +
           ", \"result\": " + json_string(kvx::name(row->result)) + ", \"parameters\": [";
    for (unsigned k = 0; k < row->parameter_count; ++k) {
      auto const& p = row->parameter_list[k];
      out += std::string(k ? ", " : "") + "{\"name\": " + json_string(p.name) + ", \"type\": " +
             json_string(kvx::name(p.type)) + ", \"offset\": " + std::to_string(p.offset) +
             ", \"slot_size\": " + std::to_string(slot_size(p.type)) + ", \"default\": " + json_default(p) + "}";
    }
    out += "]}";
  }
  if (json) {
    out += "\n  ]\n}\n";
    std::fputs(out.c_str(), stdout);
  } else {
    std::printf("%u shaders in %s\n", index, library.path().c_str());
  }
  return 0;
}

}  // namespace kvx::tool
