// SPDX-License-Identifier: Apache-2.0
// The one compiled copy of every shader's computation, which the shader
// object's main and the C entry both call: the very same instructions on both
// paths, so that they give the same bits.
#pragma once

#include <bit>
#include <type_traits>

#include <bridge/interface/interface.h>
#include <catalogue/catalogue.h>

namespace kvx::shaders {

// Runs an operation on its arguments, handing it the State when it asks for one
// (state read-outs and texture lookups); the math ignores it.
template <class Operation, class... Arguments>
[[gnu::always_inline]] inline auto evaluate(ZR::SHADER::State* state, Arguments const&... arguments) {
  if constexpr (requires { Operation::apply(state, arguments...); })
    return Operation::apply(state, arguments...);
  else
    return Operation::apply(arguments...);
}

#if defined(__clang__)
#define KVX_ONE_COPY __attribute__((noinline))
#else
#define KVX_ONE_COPY [[gnu::noipa]]
#endif

// How a value travels into and out of the one copy below. Sixteen bytes go as
// one vector register; as a struct of four components they would travel as two
// 8-byte halves, to be stored and reloaded whole by vector code (a load the
// processor cannot forward from the two stores). Smaller values go as they are.
template <catalogue::Type T>
struct Carrier {
  using type = catalogue::Value<T>;
};
typedef float Four_lanes __attribute__((vector_size(16)));
template <catalogue::Type T>
  requires(sizeof(catalogue::Value<T>) == 16)
struct Carrier<T> {
  using type = Four_lanes;
};
template <catalogue::Type T>
using Carried = typename Carrier<T>::type;

// Both hand a value that travels as it is through untouched, not even copied:
// a copy is enough for the compiler to take a 12-byte value apart and put it
// together again on the way.
template <catalogue::Type T>
[[gnu::always_inline]] inline decltype(auto) carry(catalogue::Value<T> const& value) {
  if constexpr (std::is_same_v<Carried<T>, catalogue::Value<T>>) return (value);
  else return std::bit_cast<Carried<T>>(value);
}

template <catalogue::Type T>
[[gnu::always_inline]] inline decltype(auto) unload(Carried<T> const& carried) {
  if constexpr (std::is_same_v<Carried<T>, catalogue::Value<T>>) return (carried);
  else return std::bit_cast<catalogue::Value<T>>(carried);
}

// The one compiled copy of a shader's computation, called by its shader
// object's main and by its C entry alike. Inlined into each, the same source
// could compile differently: the compiler may swap the operands of an add or a
// multiply, and which NaN payload survives when two NaNs meet depends on that
// order. One copy runs the very same instructions on both paths. Values come
// and go in registers (at most 16 bytes each).
template <unsigned Index, class Operation, catalogue::Type... Parameters>
KVX_ONE_COPY auto compute_once(ZR::SHADER::State* state, Carried<Parameters>... arguments) {
  return carry(evaluate<Operation>(state, unload<Parameters>(arguments)...));
}

template <unsigned Index, class Operation, catalogue::Type... Parameters>
[[gnu::always_inline]] inline auto compute(ZR::SHADER::State* state, catalogue::Value<Parameters> const&... arguments) {
  catalogue::Value<catalogue::shaders[Index].result> const value = unload<catalogue::shaders[Index].result>(
      compute_once<Index, Operation, Parameters...>(state, carry(arguments)...));
  return value;
}

}  // namespace kvx::shaders
