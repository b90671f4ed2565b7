// SPDX-License-Identifier: Apache-2.0
// What every shader object does, written once: capture parameters from a data
// block by name, and compute and store "result" in main.
#pragma once

#include <cstring>
#include <memory>
#include <utility>

#include <bridge/check/check.h>
#include <bridge/interface/interface.h>
#include <catalogue/catalogue.h>
#include <plugin/objects/plugin.h>
#include <shaders/compute.h>

namespace kvx::plugin {

inline constexpr char result_name[] = "result";

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
  auto const value = shaders::compute<Index, Operation>(state, fields...);
  static_assert(decltype(value)::type == catalogue::shaders[Index].result);
  std::memcpy(out, &value, sizeof value);
}

}  // namespace kvx::plugin
