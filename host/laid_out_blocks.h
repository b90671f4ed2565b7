// SPDX-License-Identifier: Apache-2.0
// Data blocks for a renderer's hot path, where a shader object is made at
// every shading point (it captures its inputs once): laid out once, from the
// shader's parameters in the catalogue's order, and never allocating,
// copying a string or searching a map afterwards.
//
// An Input_block holds, for each parameter, its name and the address where
// its value lies: a constant the host keeps, or the result another instance
// computed. A point writes nothing into it; the object copies what it finds
// there when it captures. A Result_block is the 16 bytes of "result" that
// main writes, one a thread, used again for every object.
//
// A name the library asks from its own constant strings (Constant_memory)
// holds the same characters for as long as the library is loaded: each
// parameter remembers such an address once it has matched, and is known by
// it from then on without reading a character. Any other name is compared
// character by character every time: an address says nothing of a host's
// buffer, which may hold one name and then another.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <bridge/interface/interface.h>
#include <catalogue/catalogue.h>
#include <host/constant_memory.h>

namespace kvx::host {

// Whether the C string `asked` is `known`: a character at a time, stopping at
// the first that differs, so never past `asked`'s end.
inline bool names(std::string_view known, char const* asked) {
  for (std::size_t i = 0; i < known.size(); ++i)
    if (asked[i] != known[i]) return false;
  return asked[known.size()] == '\0';
}

class Input_block final : public ZR::SHADER::Data_block {
 public:
  Input_block() = default;
  // `constants`, where the library's constant strings lie, must outlive the block.
  explicit Input_block(catalogue::Shader const& row, Constant_memory const* constants = nullptr)
      : row_(&row), count_(row.parameter_count), constants_(constants) {}

  // Parameter k's value is read at `value`, as wide as its type.
  void point(unsigned k, void const* value) { values_[k] = value; }

  // The parameter's value, or null for a name the shader does not have.
  void* lookup(char const* name) override {
    if (!name) return nullptr;
    for (unsigned k = 0; k < count_; ++k)
      if (asked_by_[k] == name) return const_cast<void*>(values_[k]);
    for (unsigned k = 0; k < count_; ++k)
      if (names(row_->parameter_list[k].name, name)) {
        if (constants_ && constants_->holds(name)) asked_by_[k] = name;
        return const_cast<void*>(values_[k]);
      }
    return nullptr;
  }
  int notify_output(char const*) override { return 1; }

 private:
  catalogue::Shader const* row_ = nullptr;
  unsigned count_ = 0;
  Constant_memory const* constants_ = nullptr;
  std::array<void const*, catalogue::max_parameters> values_{};
  std::array<char const*, catalogue::max_parameters> asked_by_{};
};

class Result_block final : public ZR::SHADER::Data_block {
 public:
  // Zeros, before each main: a result narrower than 16 bytes leaves the rest so.
  void clear() { result_.fill(0); }
  catalogue::Value_bytes const& result() const { return result_; }

  Result_block() = default;
  // `constants`, where the library's constant strings lie, must outlive the block.
  explicit Result_block(Constant_memory const* constants) : constants_(constants) {}

  void* lookup(char const* name) override {
    if (name && name == asked_by_) return result_.data();
    if (!name || !names("result", name)) return nullptr;
    if (constants_ && constants_->holds(name)) asked_by_ = name;
    return result_.data();
  }
  int notify_output(char const*) override { return 1; }

 private:
  alignas(16) catalogue::Value_bytes result_{};
  Constant_memory const* constants_ = nullptr;
  char const* asked_by_ = nullptr;
};

}  // namespace kvx::host
