// SPDX-License-Identifier: Apache-2.0
#include <host/library.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>

#include <dlfcn.h>

namespace kvx::host {

namespace {

// The file holding this code: the program (kvx-host, a test), or the shared
// object a program loaded (the Python module), never the interpreter that
// loaded it.
std::filesystem::path own_file() {
  std::error_code error;
  auto const program = std::filesystem::read_symlink("/proc/self/exe", error);
  Dl_info self{};
  if (!dladdr(reinterpret_cast<void*>(&own_file), &self) || !self.dli_fname || !*self.dli_fname) return program;
  std::filesystem::path const object = self.dli_fname;
  // The dynamic loader names the program as it was started, maybe relative.
  if (object.is_relative() || std::filesystem::equivalent(object, program, error)) return program;
  return object;
}

}  // namespace

std::string find_beside_own_file(std::initializer_list<std::filesystem::path> candidates, std::string const& built) {
  std::error_code error;
  auto const dir = own_file().parent_path();
  if (!dir.empty())
    for (auto const& candidate : candidates)
      if (std::filesystem::exists(dir / candidate, error)) return (dir / candidate).lexically_normal().string();
  return built;
}

// KVX_LIBRARY if set. Else the plug-in of the build or installation that the
// code asking belongs to, before any other: beside the file holding this code
// (kvx-host in a build tree) or in the folder above (the Python module in a
// build tree); where an installation puts it from the program's folder (bin)
// or from the module's (lib/python3.X/dist-packages, two below lib). Else
// the one this host was built with.
std::string Library::default_path() {
  if (char const* path = std::getenv("KVX_LIBRARY"); path && *path) return path;
  return find_beside_own_file({"libkvx_base.so", "../libkvx_base.so", KVX_INSTALLED_LIBRARY,
                               std::filesystem::path("../..") / KVX_LIBDIR_LIBRARY},
                              KVX_LIBRARY_PATH);
}

Library::Library(std::string path) : path_(std::move(path)), handle_(dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) throw std::runtime_error(std::string("cannot load the plug-in library: ") + dlerror());
  initializer_ = function<ZR::PLUG::Plugin*(unsigned)>("initializer");
  if (!initializer_) {
    dlclose(handle_);
    throw std::runtime_error(path_ + " exports no initializer");
  }
  constants_ = Constant_memory::of(reinterpret_cast<void const*>(initializer_));
}

Library::~Library() { dlclose(handle_); }

void* Library::symbol(char const* name) const { return dlsym(handle_, name); }

}  // namespace kvx::host
