// SPDX-License-Identifier: Apache-2.0
// The signature of every catalogue operation: its parameters in declaration
// order and its result type, both as functions of the shader's type T.
//
// KVX_OP_<operation>(X) expands to X(PARAMETERS, RESULT):
//   PARAMETERS(P, T) lists the parameters as P(name, type, unset), where `type`
//     is a type token (T itself or a fixed type) and `unset` names the rule for
//     the declared default: `zero` (every component 0, a color's alpha 1) or
//     `one` (every component 1). Scalar int, bool and texture parameters have no
//     declared default whatever the rule says: the host always supplies them.
//   RESULT(T) is the result Type.
// Parameter names are the data-block keys a shader object captures and are the
// same for an operation across all types.
#pragma once

#include <catalogue/types.h>

// Parameter lists shared by several operations.
#define KVX_NO_PARAMETERS(P, T)
#define KVX_UNARY(P, T) P(input, T, zero)
#define KVX_BINARY(P, T) P(left, T, zero) P(right, T, zero)
#define KVX_BINARY_ONES(P, T) P(left, T, one) P(right, T, one)
#define KVX_CLAMP(P, T) P(input, T, zero) P(min, T, zero) P(max, T, zero)
#define KVX_POW(P, T) P(base, T, zero) P(exponent, T, one)
#define KVX_ATAN2(P, T) P(y, T, zero) P(x, T, zero)
#define KVX_INTERPOLATE(P, T) P(start, T, zero) P(end, T, zero) P(location, T, zero)
#define KVX_STEP(P, T) P(threshold, T, zero) P(location, T, zero)
#define KVX_DISTANCE(P, T) P(from, T, zero) P(to, T, zero)
#define KVX_CONDITIONAL(P, T) P(condition, bool, zero) P(true_value, T, one) P(false_value, T, zero)
#define KVX_FACEFORWARD(P, T) P(n, T, zero) P(i, T, zero) P(ng, T, zero)
#define KVX_REFLECT(P, T) P(i, float3, zero) P(n, float3, zero)
#define KVX_REFRACT(P, T) P(i, float3, zero) P(n, float3, zero) P(eta, float, zero)
#define KVX_TEX1D(P, T) P(texture, texture, zero) P(coordinate, float, zero)
#define KVX_TEX2D(P, T) P(texture, texture, zero) P(coordinate, float2, zero)
#define KVX_TEX3D(P, T) P(texture, texture, zero) P(coordinate, float3, zero)

// Result types.
#define KVX_SAME(T) KVX_TYPE_##T
#define KVX_FLOAT(T) ::kvx::catalogue::Type::float_
#define KVX_BOOL(T) ::kvx::catalogue::Type::bool_
#define KVX_BOOLEAN_OF(T) ::kvx::catalogue::boolean_of(KVX_TYPE_##T)
#define KVX_COLOR(T) ::kvx::catalogue::Type::color
#define KVX_FLOAT3(T) ::kvx::catalogue::Type::float3

// Arithmetic
#define KVX_OP_add(X)                   X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_subtract(X)              X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_multiply(X)              X(KVX_BINARY_ONES,   KVX_SAME)
#define KVX_OP_divide(X)                X(KVX_BINARY_ONES,   KVX_SAME)
#define KVX_OP_abs(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_clamp(X)                 X(KVX_CLAMP,         KVX_SAME)
#define KVX_OP_exp(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_exp2(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_fmod(X)                  X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_max(X)                   X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_min(X)                   X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_pow(X)                   X(KVX_POW,           KVX_SAME)
#define KVX_OP_sign(X)                  X(KVX_UNARY,         KVX_SAME)

// Float functions
#define KVX_OP_acos(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_asin(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_atan(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_atan2(X)                 X(KVX_ATAN2,         KVX_SAME)
#define KVX_OP_ceil(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_cos(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_ddx(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_ddy(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_degrees(X)               X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_distance(X)              X(KVX_DISTANCE,      KVX_FLOAT)
#define KVX_OP_floor(X)                 X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_frac(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_length(X)                X(KVX_UNARY,         KVX_FLOAT)
#define KVX_OP_lerp(X)                  X(KVX_INTERPOLATE,   KVX_SAME)
#define KVX_OP_log(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_log2(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_log10(X)                 X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_radians(X)               X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_round(X)                 X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_rsqrt(X)                 X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_saturate(X)              X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_sin(X)                   X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_smoothstep(X)            X(KVX_INTERPOLATE,   KVX_SAME)
#define KVX_OP_sqrt(X)                  X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_step(X)                  X(KVX_STEP,          KVX_SAME)
#define KVX_OP_tan(X)                   X(KVX_UNARY,         KVX_SAME)

// Comparison, boolean and selection
#define KVX_OP_all(X)                   X(KVX_UNARY,         KVX_BOOL)
#define KVX_OP_any(X)                   X(KVX_UNARY,         KVX_BOOL)
#define KVX_OP_equal(X)                 X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_not_equal(X)             X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_conditional(X)           X(KVX_CONDITIONAL,   KVX_SAME)
#define KVX_OP_less_than(X)             X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_greater_than(X)          X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_less_than_or_equal(X)    X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_greater_than_or_equal(X) X(KVX_BINARY,        KVX_BOOLEAN_OF)
#define KVX_OP_or(X)                    X(KVX_BINARY,        KVX_SAME)
#define KVX_OP_and(X)                   X(KVX_BINARY,        KVX_SAME)

// Vector geometry
#define KVX_OP_faceforward(X)           X(KVX_FACEFORWARD,   KVX_SAME)
#define KVX_OP_normalize(X)             X(KVX_UNARY,         KVX_SAME)
#define KVX_OP_dot(X)                   X(KVX_BINARY,        KVX_FLOAT)
#define KVX_OP_cross(X)                 X(KVX_BINARY,        KVX_FLOAT3)
#define KVX_OP_reflect(X)               X(KVX_REFLECT,       KVX_FLOAT3)
#define KVX_OP_refract(X)               X(KVX_REFRACT,       KVX_FLOAT3)

// Texture lookups
#define KVX_OP_tex1d(X)                 X(KVX_TEX1D,         KVX_COLOR)
#define KVX_OP_tex2d(X)                 X(KVX_TEX2D,         KVX_COLOR)
#define KVX_OP_tex3d(X)                 X(KVX_TEX3D,         KVX_COLOR)
#define KVX_OP_texcube(X)               X(KVX_TEX3D,         KVX_COLOR)

#define KVX_PICK_PARAMETERS(parameters, result) parameters
#define KVX_PICK_RESULT(parameters, result) result
#define KVX_PARAMETERS_OF(op) KVX_OP_##op(KVX_PICK_PARAMETERS)
#define KVX_RESULT_OF(op) KVX_OP_##op(KVX_PICK_RESULT)
