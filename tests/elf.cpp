// SPDX-License-Identifier: Apache-2.0
#include "elf.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kvx::test {
namespace {

template <class T>
T at(std::vector<char> const& file, std::uint64_t offset) {
  if (offset + sizeof(T) > file.size()) throw std::runtime_error("ELF file truncated");
  T value;
  std::memcpy(&value, file.data() + offset, sizeof value);
  return value;
}

std::vector<Elf_symbol> symbols_of(std::vector<char> const& file, Elf64_Shdr const& table, Elf64_Shdr const& strings) {
  std::vector<Elf_symbol> out;
  for (std::uint64_t i = 1; i < table.sh_size / sizeof(Elf64_Sym); ++i) {
    auto const sym = at<Elf64_Sym>(file, table.sh_offset + i * sizeof(Elf64_Sym));
    out.push_back({std::string(file.data() + strings.sh_offset + sym.st_name), sym.st_value,
                   ELF64_ST_BIND(sym.st_info), ELF64_ST_TYPE(sym.st_info), ELF64_ST_VISIBILITY(sym.st_other),
                   sym.st_shndx != SHN_UNDEF});
  }
  return out;
}

}  // namespace

Elf_image Elf_image::read(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<char> const file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto const header = at<Elf64_Ehdr>(file, 0);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
    throw std::runtime_error(path + " is not an ELF64 file");

  std::vector<Elf64_Shdr> sections;
  for (unsigned i = 0; i < header.e_shnum; ++i)
    sections.push_back(at<Elf64_Shdr>(file, header.e_shoff + i * std::uint64_t{header.e_shentsize}));

  Elf_image image;
  for (auto const& s : sections) {
    if (s.sh_type == SHT_DYNSYM) image.dynamic_symbols = symbols_of(file, s, sections.at(s.sh_link));
    if (s.sh_type == SHT_SYMTAB) image.symbols = symbols_of(file, s, sections.at(s.sh_link));
    if (s.sh_type == SHT_INIT_ARRAY)
      for (std::uint64_t o = 0; o < s.sh_size; o += 8) image.init_array.push_back(at<std::uint64_t>(file, s.sh_offset + o));
    if (s.sh_type == SHT_DYNAMIC) {
      auto const& strings = sections.at(s.sh_link);
      for (std::uint64_t o = 0; o < s.sh_size; o += sizeof(Elf64_Dyn)) {
        auto const d = at<Elf64_Dyn>(file, s.sh_offset + o);
        if (d.d_tag == DT_NEEDED) image.needed.emplace_back(file.data() + strings.sh_offset + d.d_un.d_val);
      }
    }
  }
  return image;
}

}  // namespace kvx::test
