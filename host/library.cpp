// SPDX-License-Identifier: Apache-2.0
#include <host/library.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <dlfcn.h>

namespace kvx::host {

// KVX_LIBRARY if set; else the plug-in beside the executable (a build tree)
// or where the installation put it relative to the executable; else, for
// hosts that are not an executable of ours (the Python module), the plug-in
// beside the object holding this code or in the folder above (a build tree),
// or where the installation put it relative to the library folder two above
// (lib/python3.X/dist-packages); else the one this host was built with.
std::string Library::default_path() {
  if (char const* path = std::getenv("KVX_LIBRARY"); path && *path) return path;
  std::error_code error;
  auto const executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    auto const dir = executable.parent_path();
    for (auto const& candidate : {dir / "libkvx_base.so", dir / KVX_INSTALLED_LIBRARY})
      if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&Library::default_path), &self) && self.dli_fname) {
    auto const dir = std::filesystem::absolute(self.dli_fname, error).parent_path();
    for (auto const& candidate : {dir / "libkvx_base.so", dir / ".." / "libkvx_base.so", dir / ".." / ".." / KVX_LIBDIR_LIBRARY})
      if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return KVX_LIBRARY_PATH;
}

Library::Library(std::string path) : path_(std::move(path)), handle_(dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) throw std::runtime_error(std::string("cannot load the plug-in library: ") + dlerror());
  initializer_ = function<ZR::PLUG::Plugin*(unsigned)>("initializer");
  if (!initializer_) {
    dlclose(handle_);
    throw std::runtime_error(path_ + " exports no initializer");
  }
}

Library::~Library() { dlclose(handle_); }

void* Library::symbol(char const* name) const { return dlsym(handle_, name); }

}  // namespace kvx::host
