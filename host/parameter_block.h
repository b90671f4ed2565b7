// SPDX-License-Identifier: Apache-2.0
// A C parameter block as a host lays it out: each parameter in its slot at
// its catalogue offset, and its 32-bit tag at slot + tag_offset. There is room
// for the tags up to `reach` bytes on either side of the parameters (the
// largest block is 48 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include <bridge/interface/host_state.h>
#include <catalogue/catalogue.h>

namespace kvx::host {

template <int Reach>
class Basic_parameter_block {
 public:
  static constexpr int reach = Reach;

  explicit Basic_parameter_block(std::int32_t tag_offset = 64) : tag_offset_(tag_offset) {}

  void* params() { return bytes_.data() + reach; }
  std::int32_t tag_offset() const { return tag_offset_; }
  unsigned char* slot(catalogue::Parameter const& p) { return bytes_.data() + reach + p.offset; }

  // The parameter's slot-size bytes of `value`, and its tag.
  void set(catalogue::Parameter const& p, catalogue::Value_bytes const& value,
           std::uint32_t tag = bridge::tag_constant) {
    std::memcpy(slot(p), value.data(), slot_size(p.type));
    set_tag(p, tag);
  }
  void set_tag(catalogue::Parameter const& p, std::uint32_t tag) { set_tag_at(p.offset, tag); }
  void set_tag_at(unsigned offset, std::uint32_t tag) {
    std::memcpy(bytes_.data() + reach + offset + tag_offset_, &tag, sizeof tag);
  }
  // All of it, tags included, for filling with arbitrary bytes.
  std::array<unsigned char, 2 * reach + 128>& bytes() { return bytes_; }

 private:
  alignas(16) std::array<unsigned char, 2 * reach + 128> bytes_{};
  std::int32_t tag_offset_;
};

// Room for any tag offset a test or a host may choose.
using Parameter_block = Basic_parameter_block<256>;

}  // namespace kvx::host
