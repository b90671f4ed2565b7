// SPDX-License-Identifier: Apache-2.0
// Texture lookups: the host samples; the shader hands it the handle and the
// address of the coordinate and passes the color on unchanged.
#pragma once

#include <bit>

#include <bridge/interface/interface.h>
#include <shaders/values.h>

namespace kvx::shaders {

template <auto Lookup, Type Coordinate>
struct Texture_lookup {
  static Value<Type::color> apply(ZR::SHADER::State* state, Value<Type::texture> const& texture,
                                  Value<Coordinate> const& coordinate) {
    return std::bit_cast<Value<Type::color>>((state->*Lookup)(texture.c[0], coordinate.c));
  }
};

struct op_tex1d : Texture_lookup<&ZR::SHADER::State::lookup_tex1d, Type::float_> {};
struct op_tex2d : Texture_lookup<&ZR::SHADER::State::lookup_tex2d, Type::float2> {};
struct op_tex3d : Texture_lookup<&ZR::SHADER::State::lookup_tex3d, Type::float3> {};
struct op_texcube : Texture_lookup<&ZR::SHADER::State::lookup_texcube, Type::float3> {};

}  // namespace kvx::shaders
