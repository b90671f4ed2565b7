#include <host/catalogue_json.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvx::host {

namespace {

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

}  // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string shader_json(catalogue::Shader const& row) {
  std::string out = "{\"index\": " + std::to_string(row.index) + ", \"name\": " + json_string(row.name) +
                    ", \"operation\": " + json_string(row.operation) +
                    ", \"type\": " + (row.typed ? json_string(name(row.type)) : std::string("null")) +
                    ", \"result\": " + json_string(name(row.result)) + ", \"parameters\": [";
  for (unsigned k = 0; k < row.parameter_count; ++k) {
    auto const& p = row.parameter_list[k];
    out += std::string(k ? ", " : "") + "{\"name\": " + json_string(p.name) + ", \"type\": " +
           json_string(name(p.type)) + ", \"offset\": " + std::to_string(p.offset) +
           ", \"slot_size\": " + std::to_string(slot_size(p.type)) + ", \"default\": " + json_default(p) + "}";
  }
  return out + "]}";
}

}  // namespace kvx::host
