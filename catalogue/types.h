// SPDX-License-Identifier: Apache-2.0
// The shader value types and their widths at the three boundaries: the host's
// C parameter and result slots, and the captured fields of a shader object.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <string_view>

namespace kvx::catalogue {

enum class Type : std::uint8_t {
  bool_, bool2, bool3, bool4,
  int_, int2, int3, int4,
  float_, float2, float3, float4,
  color,
  texture,
};

inline constexpr unsigned type_count = 14;

// What one component is: a truth byte, a 32-bit two's-complement integer,
// an IEEE single, or an opaque 32-bit texture handle.
enum class Kind : std::uint8_t { truth, integer, real, handle };

using Texture_handle = std::uint32_t;

// A value in its layout, in the 16 bytes the widest type takes.
using Value_bytes = std::array<std::uint8_t, 16>;

constexpr Kind kind(Type t) {
  switch (t) {
    case Type::bool_: case Type::bool2: case Type::bool3: case Type::bool4: return Kind::truth;
    case Type::int_: case Type::int2: case Type::int3: case Type::int4: return Kind::integer;
    case Type::texture: return Kind::handle;
    default: return Kind::real;
  }
}

constexpr unsigned components(Type t) {
  switch (t) {
    case Type::bool2: case Type::int2: case Type::float2: return 2;
    case Type::bool3: case Type::int3: case Type::float3: return 3;
    case Type::bool4: case Type::int4: case Type::float4: case Type::color: return 4;
    default: return 1;
  }
}

constexpr bool is_scalar(Type t) { return components(t) == 1; }

constexpr unsigned component_size(Type t) { return kind(t) == Kind::truth ? 1 : 4; }

// Width of the value itself: the captured field and the bytes a shader stores.
constexpr unsigned width(Type t) { return components(t) * component_size(t); }

// Size of the host's C slot: 4 for scalars, 12 for the host's three-float
// vector (two and three components), 16 for the host's four-float color.
constexpr unsigned slot_size(Type t) {
  switch (components(t)) {
    case 1: return 4;
    case 4: return 16;
    default: return 12;
  }
}

constexpr std::string_view name(Type t) {
  constexpr std::string_view names[type_count] = {
      "bool", "bool2", "bool3", "bool4", "int", "int2", "int3", "int4",
      "float", "float2", "float3", "float4", "color", "texture"};
  return names[static_cast<unsigned>(t)];
}

// The truth type with one component per component of t: a comparison of two
// float3 values yields a bool3, of two colors a bool4.
constexpr Type boolean_of(Type t) {
  switch (components(t)) {
    case 2: return Type::bool2;
    case 3: return Type::bool3;
    case 4: return Type::bool4;
    default: return Type::bool_;
  }
}

// Value Inline Types
template <Kind K> struct Component_of;
template <> struct Component_of<Kind::truth> { using type = std::uint8_t; };
template <> struct Component_of<Kind::integer> { using type = std::int32_t; };
template <> struct Component_of<Kind::real> { using type = float; };
template <> struct Component_of<Kind::handle> { using type = Texture_handle; };

template <Type T> using Component = typename Component_of<kind(T)>::type;

// A value of type T at its own width, components in order. Truth components are
// raw bytes: any non-zero byte is true and a conditional copies them unchanged.
template <Type T>
struct Value {
  static constexpr Type type = T;
  static constexpr unsigned size = components(T);
  Component<T> c[size];
};

template <Type T>
inline constexpr bool same_layout = sizeof(Value<T>) == width(T);
static_assert(same_layout<Type::bool3> && same_layout<Type::float2> && same_layout<Type::color> &&
              same_layout<Type::texture>);

}  // namespace kvx::catalogue

// The catalogue spells types as the shading language does; these map a type
// token of a catalogue row to its Type.
#define KVX_TYPE_bool ::kvx::catalogue::Type::bool_
#define KVX_TYPE_bool2 ::kvx::catalogue::Type::bool2
#define KVX_TYPE_bool3 ::kvx::catalogue::Type::bool3
#define KVX_TYPE_bool4 ::kvx::catalogue::Type::bool4
#define KVX_TYPE_int ::kvx::catalogue::Type::int_
#define KVX_TYPE_int2 ::kvx::catalogue::Type::int2
#define KVX_TYPE_int3 ::kvx::catalogue::Type::int3
#define KVX_TYPE_int4 ::kvx::catalogue::Type::int4
#define KVX_TYPE_float ::kvx::catalogue::Type::float_
#define KVX_TYPE_float2 ::kvx::catalogue::Type::float2
#define KVX_TYPE_float3 ::kvx::catalogue::Type::float3
#define KVX_TYPE_float4 ::kvx::catalogue::Type::float4
#define KVX_TYPE_color ::kvx::catalogue::Type::color
#define KVX_TYPE_texture ::kvx::catalogue::Type::texture
