// SPDX-License-Identifier: Apache-2.0
// A data block, as the host hands one to shader objects: named values at
// stable addresses, 16 bytes of room each.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include <bridge/interface/interface.h>
#include <catalogue/types.h>

namespace kvx::host {

class Block : public ZR::SHADER::Data_block {
 public:
  template <class T>
  Block& set(std::string_view key, T const& value) {
    static_assert(sizeof(T) <= 16);
    return set_bytes(key, &value, sizeof value);
  }
  Block& set_bytes(std::string_view key, void const* bytes, std::size_t size);
  Block& add_result() { values_["result"].fill(0); return *this; }
  void erase(std::string_view key);
  // The bytes stored under key; null when absent.
  std::uint8_t* find(std::string_view key);
  template <class T>
  T get(std::string_view key) {
    T value{};
    if (auto* at = find(key)) std::memcpy(&value, at, sizeof value);
    return value;
  }

  void* lookup(char const* name) override { return name ? find(name) : nullptr; }
  int notify_output(char const*) override { return 1; }

 private:
  std::map<std::string, catalogue::Value_bytes, std::less<>> values_;
};

}  // namespace kvx::host
