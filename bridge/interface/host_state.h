// SPDX-License-Identifier: Apache-2.0
// Fields of the host's C records, read and written at the host's byte offsets.
// The records are the host's; the library knows only these fields. All access
// goes through memcpy, so nothing here depends on the records' alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <bridge/interface/interface.h>

namespace kvx::bridge {

// Parameter tags: the 32-bit word a host writes at slot + tag_offset in a C
// parameter block.
inline constexpr std::uint32_t tag_unset = 0;               // the declared default
inline constexpr std::uint32_t tag_constant = 0xFFFFFFFEu;  // the value in the slot
// Any other tag: a connection, evaluated through zr_phen_eval.

}  // namespace kvx::bridge

namespace kvx::bridge::record_field {

// Host_state
inline constexpr std::size_t ray_type = 0x40;        // int32
inline constexpr std::size_t shadow_context = 0xa4;  // 32-bit word
inline constexpr std::size_t normal = 0xd0;          // three floats
inline constexpr std::size_t eval_settings = 0x138;  // Eval_settings*

// Eval_settings
inline constexpr std::size_t tag_offset = 0x60;    // int32: slot to tag distance, 0: no tags
inline constexpr std::size_t integer_tags = 0x6d;  // uint8: exactly 1 tags scalar integers

// Output_request_list
inline constexpr std::size_t request_count = 0;         // uint32
inline constexpr std::size_t request_entries = 8;       // Output_request*
inline constexpr std::size_t request_type_codes = 16;   // uint32*
inline constexpr std::size_t request_destinations = 24; // void**
inline constexpr std::size_t requests_done = 32;        // uint8

// Output_request, 16 bytes each
inline constexpr std::size_t request_size = 16;
inline constexpr std::size_t request_kind = 0;  // uint32: 1 by name, else by state id
inline constexpr std::size_t request_name = 8;  // char const*
inline constexpr std::size_t request_id = 8;    // uint32

// Always inlined: a field access is a load or a store, in every build.
template <class T>
[[gnu::always_inline]] inline T read(void const* record, std::size_t offset) noexcept {
  T value;
  std::memcpy(&value, static_cast<unsigned char const*>(record) + offset, sizeof value);
  return value;
}

template <class T>
[[gnu::always_inline]] inline void write(void* record, std::size_t offset, T const& value) noexcept {
  std::memcpy(static_cast<unsigned char*>(record) + offset, &value, sizeof value);
}

}  // namespace kvx::bridge::record_field
