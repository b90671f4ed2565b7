// SPDX-License-Identifier: Apache-2.0
#include <host/constant_memory.h>

#include <link.h>

namespace kvx::host {

Constant_memory Constant_memory::of(void const* inside) {
  struct Search {
    std::uintptr_t inside;
    Constant_memory memory;
  } search{reinterpret_cast<std::uintptr_t>(inside), {}};
  dl_iterate_phdr(
      [](dl_phdr_info* object, std::size_t, void* data) {
        auto& s = *static_cast<Search*>(data);
        auto const loaded = [&](ElfW(Phdr) const& segment) {
          std::uintptr_t const begin = object->dlpi_addr + segment.p_vaddr;
          return segment.p_type == PT_LOAD && s.inside >= begin && s.inside < begin + segment.p_memsz;
        };
        bool found = false;
        for (unsigned i = 0; i < object->dlpi_phnum; ++i) found = found || loaded(object->dlpi_phdr[i]);
        if (!found) return 0;
        // Segments never writable: relocated read-only data (RELRO) is left
        // out, as the loader wrote it.
        Constant_memory& memory = s.memory;
        for (unsigned i = 0; i < object->dlpi_phnum && memory.count_ < memory.ranges_.size(); ++i) {
          ElfW(Phdr) const& segment = object->dlpi_phdr[i];
          if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W)) continue;
          std::uintptr_t const begin = object->dlpi_addr + segment.p_vaddr;
          memory.ranges_[memory.count_++] = {begin, begin + segment.p_memsz};
        }
        return 1;
      },
      &search);
  return search.memory;
}

}  // namespace kvx::host
