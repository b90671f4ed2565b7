// SPDX-License-Identifier: Apache-2.0
// The catalogue as constant data: every shader's name, operation, parameters
// with their C block offsets and declared defaults, and result type, in plug-in
// factory order. Built at compile time from catalogue/shaders.def; the library,
// the reference host, the tools and the tests all read it from here.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include <catalogue/signatures.h>
#include <catalogue/types.h>

namespace kvx::catalogue {

inline constexpr unsigned shader_count = 402;
inline constexpr unsigned max_parameters = 3;

// Which rule gives a parameter's declared default.
enum class Unset : std::uint8_t { zero, one };

// Where a State_ shader reads its value.
enum class Source : std::uint8_t { none, state, render, camera };

// What a C entry does besides the common protocol: State_normal and
// State_dot_nd first put a normal from the parameter block in place.
enum class Entry : std::uint8_t { plain, overrides_normal };

struct Parameter {
  std::string_view name;  // NUL-terminated: it is the data-block key
  Type type;
  unsigned offset;        // byte offset of its slot in the C parameter block
  bool has_default;       // false for int, bool and texture: the host always supplies those
  Value_bytes default_value;  // the declared default in the value layout, when has_default
};

struct Shader {
  unsigned index;
  std::string_view name;
  std::string_view operation;  // the operation, or the field of a State_ shader
  bool typed;                  // the name carries a type (Math_<type>_<operation>)
  Type type;                   // that type; float3 for the untyped Math_ shaders
  Type result;
  unsigned parameter_count;
  std::array<Parameter, max_parameters> parameter_list;
  Source source;  // State_ shaders only
  int id;         // State_ shaders only
  Entry entry;

  constexpr std::span<Parameter const> parameters() const {
    return {parameter_list.data(), parameter_count};
  }
  // Size of the C parameter block.
  constexpr unsigned block_size() const {
    return parameter_count ? parameter_list[parameter_count - 1].offset +
                                 slot_size(parameter_list[parameter_count - 1].type)
                           : 0;
  }
};

// Declared defaults: 0 in every component, 1 in a color's alpha, 1 everywhere
// under the `one` rule; none for the scalar integer-like types.
constexpr bool has_default(Type t) {
  return !(is_scalar(t) && kind(t) != Kind::real);
}

constexpr Value_bytes declared_default(Type t, Unset rule) {
  Value_bytes bytes{};
  if (!has_default(t)) return bytes;
  for (unsigned i = 0; i < components(t); ++i) {
    bool one = rule == Unset::one || (t == Type::color && i == 3);
    if (!one) continue;
    if (kind(t) == Kind::truth) {
      bytes[i] = 1;
      continue;
    }
    auto word = kind(t) == Kind::real ? std::bit_cast<std::array<std::uint8_t, 4>>(1.0f)
                                      : std::bit_cast<std::array<std::uint8_t, 4>>(std::int32_t{1});
    for (unsigned b = 0; b < 4; ++b) bytes[4 * i + b] = word[b];
  }
  return bytes;
}

// Bytes in the value layout as the typed value, at compile time: code that
// starts from a declared default gets a constant, not a copy of the catalogue
// row built on its stack.
template <Type T>
constexpr Value<T> value_from(Value_bytes const& bytes) {
  std::array<std::uint8_t, sizeof(Value<T>)> layout{};
  for (std::size_t i = 0; i < layout.size(); ++i) layout[i] = bytes[i];
  return std::bit_cast<Value<T>>(layout);
}

struct Parameter_declaration {
  std::string_view name;
  Type type;
  Unset rule;
};

constexpr Shader make_shader(unsigned index, std::string_view name, std::string_view operation,
                             bool typed, Type type, Type result,
                             std::initializer_list<Parameter_declaration> declared,
                             Source source = Source::none, int id = 0, Entry entry = Entry::plain) {
  Shader s{index, name, operation, typed, type, result, 0, {}, source, id, entry};
  unsigned offset = 0;
  for (auto const& d : declared) {
    s.parameter_list[s.parameter_count++] =
        Parameter{d.name, d.type, offset, has_default(d.type), declared_default(d.type, d.rule)};
    offset += slot_size(d.type);
  }
  return s;
}

#define KVX_DECLARE_PARAMETER(name, type, rule) \
  ::kvx::catalogue::Parameter_declaration{#name, KVX_TYPE_##type, ::kvx::catalogue::Unset::rule},
#define KVX_CATALOGUE_ROW(index, name, operation, typed, type)                                  \
  make_shader(index, #name, #operation, typed, KVX_TYPE_##type, KVX_RESULT_OF(operation)(type), \
              {KVX_PARAMETERS_OF(operation)(KVX_DECLARE_PARAMETER, type)}),

inline constexpr std::array<Shader, shader_count> shaders = {
#define KVX_MATH(index, type, operation) \
  KVX_CATALOGUE_ROW(index, Math_##type##_##operation, operation, true, type)
#define KVX_MATH_UNTYPED(index, operation) \
  KVX_CATALOGUE_ROW(index, Math_##operation, operation, false, float3)
#define KVX_STATE(index, field, source, result, id, entry)                                \
  make_shader(index, "State_" #field, #field, false, KVX_TYPE_##result, KVX_TYPE_##result, \
              {}, Source::source, id, Entry::entry),
#include <catalogue/shaders.def>
};

#undef KVX_CATALOGUE_ROW
#undef KVX_DECLARE_PARAMETER

constexpr bool indices_run_in_order() {
  for (unsigned i = 0; i < shader_count; ++i)
    if (shaders[i].index != i) return false;
  return true;
}
static_assert(indices_run_in_order(), "catalogue rows must be numbered 0..401 in order");

// The rows in the order of their names, for find.
inline constexpr std::array<Shader const*, shader_count> by_name = [] {
  std::array<Shader const*, shader_count> rows{};
  for (unsigned i = 0; i < shader_count; ++i) rows[i] = &shaders[i];
  std::sort(rows.begin(), rows.end(), [](Shader const* a, Shader const* b) { return a->name < b->name; });
  return rows;
}();

// The row of the named shader, or null: a binary search, quick enough for a
// network of a hundred thousand instances.
constexpr Shader const* find(std::string_view name) {
  auto const at = std::lower_bound(by_name.begin(), by_name.end(), name,
                                   [](Shader const* row, std::string_view wanted) { return row->name < wanted; });
  return at != by_name.end() && (*at)->name == name ? *at : nullptr;
}

// The id a State_ shader reads, in the numbering of the host object it asks
// (its source): what a host answers there is what the shader returns.
consteval int state_id(std::string_view shader) {
  for (auto const& row : shaders)
    if (row.name == shader && row.source != Source::none) return row.id;
  throw "not a State_ shader";
}

static_assert(shaders[0].name == "Math_float_add" && shaders[401].name == "State_window_bottom");
static_assert(find("Math_float2_lerp")->parameter_list[2].offset == 24);
static_assert(find("Math_bool4_conditional")->parameter_list[2].offset == 20);

}  // namespace kvx::catalogue
