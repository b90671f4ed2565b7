// SPDX-License-Identifier: Apache-2.0
// What every shader object does, written once: capture parameters from a data
// block by name, and compute and store "result" in main.
#pragma once

#include <bit>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include <bridge/check.h>
#include <bridge/interface.h>
#include <catalogue/catalogue.h>
#include <plugin/plugin.h>

namespace kvx::plugin {

inline constexpr char result_name[] = "result";

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

struct Release_shader {
  void operator()(ZR::SHADER::Shader const* shader) const { shader->release(); }
};

// A present parameter costs two lookups of the same name; a missing one leaves
// the field zero, as does a second lookup that finds nothing after all.
template <unsigned Index, catalogue::Type T>
inline void capture(ZR::SHADER::Data_block& block, char const* name, catalogue::Value<T>& field) {
  void const* const first = block.lookup(name);
  if (first == nullptr) return;
  void const* const at = block.lookup(name);
  bridge::check::expect([&] { return at == first; }, Index, bridge::check::Finding::lookup_moved);
  if (at) std::memcpy(&field, at, sizeof field);
}

template <unsigned Index, auto... Fields, class Object, std::size_t... K>
inline void capture_fields(ZR::SHADER::Data_block& block, Object& object, std::index_sequence<K...>) {
  constexpr auto& row = catalogue::shaders[Index];
  static_assert(row.parameter_count == sizeof...(Fields));
  (capture<Index>(block, row.parameter_list[K].name.data(), object.*Fields), ...);
}

// The object starts zeroed, so nothing the capture leaves unset is
// uninitialised; if a lookup throws, the half-built object is released.
template <class Object, unsigned Index, auto... Fields>
ZR::SHADER::Shader* new_shader_object(ZR::SHADER::Data_block* block) {
  std::unique_ptr<Object, Release_shader> object{new Object()};
  if (block)
    capture_fields<Index, Fields...>(*block, *object, std::make_index_sequence<sizeof...(Fields)>{});
  return object.release();
}

// One lookup and one notification of "result", then the store at the result
// type's own width. A block without "result" gets nothing stored.
template <unsigned Index, class Operation, catalogue::Type... Parameters>
void run_main(ZR::SHADER::State* state, ZR::SHADER::Data_block* block, catalogue::Value<Parameters> const&... fields) {
  if (!block) return;
  void* const out = block->lookup(result_name);
  block->notify_output(result_name);
  if (!out) return;
  auto const value = compute<Index, Operation>(state, fields...);
  static_assert(decltype(value)::type == catalogue::shaders[Index].result);
  std::memcpy(out, &value, sizeof value);
}

}  // namespace kvx::plugin
