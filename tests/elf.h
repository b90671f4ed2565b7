// SPDX-License-Identifier: Apache-2.0
// Just enough of an ELF64 reader to check what a shared library exports,
// imports and runs at load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvx::test {

struct Elf_symbol {
  std::string name;
  std::uint64_t value;
  unsigned binding;     // STB_*
  unsigned type;        // STT_*
  unsigned visibility;  // STV_*
  bool defined;
};

struct Elf_image {
  std::vector<Elf_symbol> dynamic_symbols;  // .dynsym
  std::vector<Elf_symbol> symbols;          // .symtab, if not stripped
  std::vector<std::uint64_t> init_array;    // addresses run at load
  std::vector<std::string> needed;          // DT_NEEDED

  static Elf_image read(std::string const& path);
};

}  // namespace kvx::test
