// SPDX-License-Identifier: Apache-2.0
// Writes the catalogue for C hosts, as the build installs it beside the
// other headers:
//
//   <kvx_base/parameters.h>    each shader's parameter block as a C struct,
//                              its tags' struct, a block with both at
//                              KVX_TAG_OFFSET, its declared defaults, and
//                              static asserts on every offset and size
//   <kvx_base/shader_table.h>  every shader's name, result, parameters'
//                              names, types, offsets and defaults as a table
//
//   write_c_layouts OUTPUT_DIR
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <catalogue/catalogue.h>

namespace kvx::catalogue {
namespace {

// The shaders whose C entry first puts a normal from the parameter block in
// place read a float3 there, though they have no parameter of their own.
constexpr std::string_view normal_field = "normal";

// The largest parameter block: every shader's tags lie this far from their slots.
constexpr unsigned tag_offset = [] {
  unsigned largest = 0;
  for (auto const& row : shaders) largest = std::max(largest, row.block_size());
  return largest;
}();

std::string c_component(Type t) {
  switch (kind(t)) {
    case Kind::truth: return "uint8_t";
    case Kind::integer: return "int32_t";
    case Kind::real: return "float";
    default: return "uint32_t";
  }
}

std::string c_type_name(Type t) {
  std::string name = "KVX_TYPE_" + std::string(catalogue::name(t));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// One slot's members: the value, then what the slot holds beyond it.
void slot_members(std::ostream& out, std::string_view name, Type type, std::string const& comment) {
  unsigned const n = components(type);
  unsigned const unused = slot_size(type) - width(type);
  out << "  " << c_component(type) << ' ' << name;
  if (n > 1) out << '[' << n << ']';
  out << ";  /* " << comment << " */\n";
  if (unused) {
    out << "  uint8_t " << name << "_unused";
    out << '[' << unused << "];\n";
  }
}

std::string number(Type type, Value_bytes const& bytes, unsigned component) {
  char text[32];
  switch (kind(type)) {
    case Kind::truth: std::snprintf(text, sizeof text, "%u", bytes[component]); break;
    case Kind::real: {
      float f;
      std::memcpy(&f, &bytes[4 * component], 4);
      std::snprintf(text, sizeof text, "%.9gf", static_cast<double>(f));
      if (!std::strpbrk(text, ".e")) std::snprintf(text, sizeof text, "%.1ff", static_cast<double>(f));
      break;
    }
    default: {
      std::int32_t i;
      std::memcpy(&i, &bytes[4 * component], 4);
      std::snprintf(text, sizeof text, "%d", i);
    }
  }
  return text;
}

std::string initializer(Type type, Value_bytes const& bytes) {
  if (components(type) == 1) return number(type, bytes, 0);
  std::string text = "{";
  for (unsigned c = 0; c < components(type); ++c) text += (c ? ", " : "") + number(type, bytes, c);
  return text + "}";
}

struct Field {
  std::string_view name;
  Type type;
  unsigned offset;
  bool has_default;
  Value_bytes default_value;
};

std::vector<Field> fields_of(Shader const& row) {
  std::vector<Field> fields;
  for (auto const& p : row.parameters()) fields.push_back({p.name, p.type, p.offset, p.has_default, p.default_value});
  if (row.entry == Entry::overrides_normal) fields.push_back({normal_field, Type::float3, 0, false, {}});
  return fields;
}

void write_shader(std::ostream& out, Shader const& row) {
  auto const fields = fields_of(row);
  if (fields.empty()) return;
  std::string const prefix = "kvx_" + std::string(row.name);
  unsigned size = 0;
  for (auto const& f : fields) size = f.offset + slot_size(f.type);

  out << "\n/* " << row.name << " -> " << name(row.result) << " */\n";
  out << "typedef struct " << prefix << "_parameters {\n";
  for (auto const& f : fields) {
    std::string comment = std::string(name(f.type)) + " at " + std::to_string(f.offset);
    if (f.name == normal_field && row.entry == Entry::overrides_normal)
      comment += ", the normal put in place while the entry runs (tag unset: none)";
    else if (f.has_default)
      comment += ", declared default " + initializer(f.type, f.default_value);
    else
      comment += ", no declared default: the host always sets it";
    slot_members(out, f.name, f.type, comment);
  }
  out << "} " << prefix << "_parameters;\n";

  out << "typedef struct " << prefix << "_tags {\n";
  for (auto const& f : fields) {
    out << "  uint32_t " << f.name << ";\n";
    if (unsigned const words = slot_size(f.type) / 4 - 1) out << "  uint32_t " << f.name << "_unused[" << words << "];\n";
  }
  out << "} " << prefix << "_tags;\n";

  out << "typedef struct " << prefix << "_block {\n"
      << "  union {\n    " << prefix << "_parameters values;\n    unsigned char room[KVX_TAG_OFFSET];\n  } slots;\n"
      << "  " << prefix << "_tags tags;\n"
      << "} " << prefix << "_block;\n";

  if (row.parameter_count) {
    out << "static const " << prefix << "_parameters " << prefix << "_defaults = {";
    for (auto const& p : row.parameters()) {
      out << (&p == row.parameter_list.data() ? "" : ", ") << '.' << p.name << " = "
          << initializer(p.type, p.default_value);
      if (slot_size(p.type) > width(p.type)) out << ", ." << p.name << "_unused = {0}";
    }
    out << "};\n";
  }

  for (auto const& f : fields) {
    out << "KVX_LAYOUT_ASSERT(offsetof(" << prefix << "_parameters, " << f.name << ") == " << f.offset << ");\n";
    out << "KVX_LAYOUT_ASSERT(offsetof(" << prefix << "_tags, " << f.name << ") == " << f.offset << ");\n";
  }
  out << "KVX_LAYOUT_ASSERT(sizeof(" << prefix << "_parameters) == " << size << " && sizeof(" << prefix
      << "_tags) == " << size << ");\n";
  out << "KVX_LAYOUT_ASSERT(offsetof(" << prefix << "_block, tags) == KVX_TAG_OFFSET);\n";
}

constexpr char const* preamble = R"(/* SPDX-License-Identifier: Apache-2.0 */
/* Written by the library's build from its catalogue: do not edit. */
)";

std::string parameters_header() {
  std::ostringstream out;
  out << preamble << R"(/* Every shader's C parameter block, for C11 and C++ hosts.

   kvx_<shader>_parameters  its slots at their offsets: a slot's value at its
                            start (components as an array, bools a byte
                            each), then `<name>_unused` bytes up to the
                            slot's size
   kvx_<shader>_tags        the same layout of 32-bit tags: KVX_TAG_UNSET,
                            KVX_TAG_CONSTANT or a connection of the host's
   kvx_<shader>_block       the two in one block, each tag KVX_TAG_OFFSET
                            bytes after its slot: hand `&block.slots` to the
                            C entry and set Eval_settings.tag_offset to
                            KVX_TAG_OFFSET
   kvx_<shader>_defaults    the declared defaults (int, bool and texture
                            parameters have none and are 0 here)

   State_normal and State_dot_nd take a normal to put in place while they
   run: their block has a float3 `normal` at 0. Shaders without parameters
   have no block. */
#ifndef KVX_BASE_PARAMETERS_H
#define KVX_BASE_PARAMETERS_H

#include <stddef.h>
#include <stdint.h>

/* The largest parameter block, and so the distance from any slot to its tag
   in the blocks below. */
#define KVX_TAG_OFFSET )" << tag_offset << R"(

#ifdef __cplusplus
#define KVX_LAYOUT_ASSERT(condition) static_assert(condition, #condition)
#else
#define KVX_LAYOUT_ASSERT(condition) _Static_assert(condition, #condition)
#endif
)";
  for (auto const& row : shaders) write_shader(out, row);
  out << "\n#undef KVX_LAYOUT_ASSERT\n\n#endif\n";
  return out.str();
}

std::string table_header() {
  std::ostringstream out;
  out << preamble << R"(/* The catalogue as data, for C11 and C++ hosts: every shader in the
   factory's order (kvx_shaders[i] is initializer(i)'s), with its result
   type and its parameters' names, types, slot offsets and sizes, and
   declared defaults in the value layout (floats and ints 4 bytes a
   component, bools a byte). Static data: include it in one file of a
   program. */
#ifndef KVX_BASE_SHADER_TABLE_H
#define KVX_BASE_SHADER_TABLE_H

#include <stdint.h>

typedef enum kvx_type {
)";
  for (unsigned t = 0; t < type_count; ++t)
    out << "  " << c_type_name(static_cast<Type>(t)) << " = " << t << (t + 1 < type_count ? ",\n" : "\n");
  out << R"(} kvx_type;

typedef struct kvx_parameter_info {
  char const* name;
  kvx_type type;
  uint32_t offset;        /* of its slot in the parameter block */
  uint32_t slot_size;     /* 4, 12 or 16 */
  uint32_t has_default;   /* 0 for int, bool and texture: the host always sets those */
  uint8_t default_value[16];
} kvx_parameter_info;

/* Where a State_ shader reads its value: the State's ids, the render
   settings' or the camera's. */
typedef enum kvx_state_source { KVX_SOURCE_NONE, KVX_SOURCE_STATE, KVX_SOURCE_RENDER, KVX_SOURCE_CAMERA } kvx_state_source;

typedef struct kvx_shader_info {
  char const* name;
  kvx_type result;
  uint32_t block_size;    /* bytes of its parameter block */
  uint32_t parameter_count;
  kvx_state_source source; /* State_ shaders: which object answers */
  int32_t id;              /* State_ shaders: by which id */
  uint32_t reads_normal;   /* State_normal, State_dot_nd: a float3 normal at 0 */
  kvx_parameter_info parameters[)" << max_parameters << R"(];
} kvx_shader_info;

#define KVX_SHADER_COUNT )" << shader_count << R"(

static kvx_shader_info const kvx_shaders[KVX_SHADER_COUNT] = {
)";
  constexpr char const* sources[] = {"KVX_SOURCE_NONE", "KVX_SOURCE_STATE", "KVX_SOURCE_RENDER", "KVX_SOURCE_CAMERA"};
  for (auto const& row : shaders) {
    unsigned const block = row.entry == Entry::overrides_normal ? slot_size(Type::float3) : row.block_size();
    out << "  {\"" << row.name << "\", " << c_type_name(row.result) << ", " << block << ", "
        << row.parameter_count << ", " << sources[static_cast<unsigned>(row.source)] << ", " << row.id << ", "
        << (row.entry == Entry::overrides_normal ? 1 : 0) << ", {";
    for (auto const& p : row.parameters()) {
      out << (&p == row.parameter_list.data() ? "" : ", ") << "{\"" << p.name << "\", " << c_type_name(p.type)
          << ", " << p.offset << ", " << slot_size(p.type) << ", " << (p.has_default ? 1 : 0) << ", {";
      for (unsigned b = 0; b < 16; ++b) out << (b ? "," : "") << unsigned(p.default_value[b]);
      out << "}}";
    }
    for (unsigned k = row.parameter_count; k < max_parameters; ++k)
      out << (k ? ", " : "") << "{0, KVX_TYPE_BOOL, 0, 0, 0, {0}}";
    out << "}},\n";
  }
  out << "};\n\n#endif\n";
  return out.str();
}

// Written only where it differs, so that nothing that includes it is rebuilt for nothing.
void write(std::string const& path, std::string const& text) {
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream was;
    was << in.rdbuf();
    if (in && was.str() == text) return;
  }
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace
}  // namespace kvx::catalogue

int main(int argc, char** argv) try {
  if (argc != 2) {
    std::cerr << "usage: write_c_layouts OUTPUT_DIR\n";
    return 2;
  }
  std::string const dir = argv[1];
  kvx::catalogue::write(dir + "/parameters.h", kvx::catalogue::parameters_header());
  kvx::catalogue::write(dir + "/shader_table.h", kvx::catalogue::table_header());
  return 0;
} catch (std::exception const& e) {
  std::cerr << "write_c_layouts: " << e.what() << '\n';
  return 1;
}
