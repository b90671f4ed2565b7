// SPDX-License-Identifier: Apache-2.0
// Output gathering: answers the host's list of requested outputs from a
// shader's Result or from the State, then marks the list done. Exported once
// per shader object class; every one runs the same walk.
#pragma once

#include <cstdint>

#include <bridge/interface/interface.h>
#include <bridge/interface/export.h>

namespace kvx::bridge {

// The walk behind every gather<Result>. `result_value` points at the Result's
// value pointer and is read at each request for "result"; null, or a null
// value, answers from `zeros`. `shader` is the catalogue index, for the checked
// build's reports.
KVX_HIDDEN void gather_requests(ZR::SHADER::State* state, void* const* result_value, std::uint8_t const* zeros,
                                unsigned shader);

// The catalogue index of the shader whose Result it is: set beside each
// gather<Result> (bridge/entry/entries.h).
template <class Result>
inline constexpr unsigned shader_of_result = 0;

}  // namespace kvx::bridge

namespace ZR::SHADER {

// Each instantiation keeps its own block of zeros, as hosts find it by name.
template <class Result>
KVX_EXPORT void gather(State* state, Result const* result) {
  [[gnu::used]] static std::uint8_t const nullblock[16] = {};
  kvx::bridge::gather_requests(state, result ? &result->result : nullptr, nullblock,
                               kvx::bridge::shader_of_result<Result>);
}

}  // namespace ZR::SHADER
