// SPDX-License-Identifier: Apache-2.0
// Evaluating the parameters of a C call from the instance's parameter block.
//
// A parameter's slot lies at its catalogue offset; its tag is the 32-bit word
// at slot + tag_offset. Two conventions:
//   general (floats, vectors, colors):  tag_offset 0 or tag 0: the declared
//     default; tag 0xFFFFFFFE: the slot; any other tag: zr_phen_eval.
//   scalar integer (int, bool, texture): tags are read only when integer_tags
//     is exactly 1; tag 0 or 0xFFFFFFFE: the slot; any other: zr_phen_eval.
//     Never a default.
#pragma once

#include <cstdint>
#include <cstring>

#include <bridge/check/check.h>
#include <bridge/interface/interface.h>
#include <bridge/interface/host_state.h>
#include <catalogue/catalogue.h>

namespace kvx::bridge {

// Tag settings as the host record gives them; a record without evaluation
// settings tags nothing.
struct Tag_settings {
  std::int32_t tag_offset = 0;
  std::uint8_t integer_tags = 0;  // as the host set it: exactly 1 tags scalar integers

  static Tag_settings of(Host_state* record) {
    auto const* settings = record_field::read<unsigned char const*>(record, record_field::eval_settings);
    if (!settings) return {};
    return {record_field::read<std::int32_t>(settings, record_field::tag_offset),
            record_field::read<std::uint8_t>(settings, record_field::integer_tags)};
  }
  bool tags_integers() const { return integer_tags == 1; }
};

inline std::uint32_t tag_of(unsigned char* slot, std::int32_t tag_offset) {
  return record_field::read<std::uint32_t>(slot + static_cast<std::ptrdiff_t>(tag_offset), 0);
}

enum class Source_of_value : std::uint8_t { unset, slot, connection };

inline Source_of_value general_source(unsigned char* slot, std::int32_t tag_offset) {
  if (tag_offset == 0) return Source_of_value::unset;
  std::uint32_t const tag = tag_of(slot, tag_offset);
  if (tag == tag_unset) return Source_of_value::unset;
  return tag == tag_constant ? Source_of_value::slot : Source_of_value::connection;
}

inline Source_of_value integer_source(unsigned char* slot, Tag_settings const& settings) {
  if (!settings.tags_integers()) return Source_of_value::slot;
  std::uint32_t const tag = tag_of(slot, settings.tag_offset);
  return tag == tag_unset || tag == tag_constant ? Source_of_value::slot : Source_of_value::connection;
}

// A declared default as constant data: one object for each distinct value.
template <catalogue::Type T, catalogue::Value_bytes Layout>
inline constexpr catalogue::Value<T> constant_value = catalogue::value_from<T>(Layout);

// The checked build's view of the settings parameter K is read with, where
// the library reads its tag (or would, were integer_tags 1).
template <unsigned Index, unsigned K>
[[gnu::always_inline]] inline void check_tag_settings(Tag_settings const& settings) {
  if constexpr (check::enabled) {
    constexpr catalogue::Shader const& row = catalogue::shaders[Index];
    constexpr catalogue::Parameter p = row.parameter_list[K];
    if constexpr (!p.has_default)
      check::expect([&] { return settings.integer_tags <= 1; }, Index, check::Finding::integer_tags_value,
                    settings.integer_tags, K);
    bool const tagged = p.has_default ? settings.tag_offset != 0 : settings.tags_integers();
    if (!tagged) return;
    // The tag word from tag_offset on, against the block's slots [0, size).
    long long const tag = static_cast<long long>(p.offset) + settings.tag_offset;
    check::expect([&] { return tag + 4 <= 0 || tag >= static_cast<long long>(row.block_size()); }, Index,
                  check::Finding::tag_on_slots, settings.tag_offset, K);
    check::expect([&] { return settings.tag_offset % 4 == 0; }, Index, check::Finding::tag_offset_unaligned,
                  settings.tag_offset, K);
  }
}

// Parameter K of shader Index, read at its own width. A connection the host
// cannot evaluate (zr_phen_eval answers null) counts as unset. The value is
// copied once, from wherever it lies: built up from pieces, it would reach its
// argument registers through the stack.
template <unsigned Index, unsigned K>
[[gnu::always_inline]] inline auto parameter(Host_state* hs, unsigned char* block) {
  constexpr catalogue::Parameter p = catalogue::shaders[Index].parameter_list[K];
  void const* from = &constant_value<p.type, p.default_value>;
  if (block) {
    unsigned char* const slot = block + p.offset;
    Tag_settings const settings = Tag_settings::of(hs);  // afresh for every parameter
    check_tag_settings<Index, K>(settings);
    Source_of_value const source =
        p.has_default ? general_source(slot, settings.tag_offset) : integer_source(slot, settings);
    if (source == Source_of_value::slot) from = slot;
    if (source == Source_of_value::connection)
      if (void const* evaluated = zr_phen_eval(hs, slot)) from = evaluated;
  }
  catalogue::Value<p.type> value;
  std::memcpy(&value, from, sizeof value);
  return value;
}

}  // namespace kvx::bridge
