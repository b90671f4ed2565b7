// SPDX-License-Identifier: Apache-2.0
#include <host/data_block.h>

namespace kvx::host {

Block& Block::set_bytes(std::string_view key, void const* bytes, std::size_t size) {
  auto& slot = values_[std::string(key)];
  slot.fill(0);
  std::memcpy(slot.data(), bytes, size < slot.size() ? size : slot.size());
  return *this;
}

void Block::erase(std::string_view key) {
  auto it = values_.find(key);
  if (it != values_.end()) values_.erase(it);
}

std::uint8_t* Block::find(std::string_view key) {
  auto it = values_.find(key);
  return it == values_.end() ? nullptr : it->second.data();
}

}  // namespace kvx::host
