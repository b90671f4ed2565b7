// SPDX-License-Identifier: Apache-2.0
#include <host/batch_library.h>

#include <cstdlib>
#include <stdexcept>

#include <dlfcn.h>

#include <host/library.h>

namespace kvx::host {

// KVX_BATCH_LIBRARY if set; else the batch library of the build or the
// installation that the code asking belongs to, found as the plug-in is
// (Library::default_path), before the one this host was built with.
std::string Batch_library::default_path() {
  if (char const* path = std::getenv("KVX_BATCH_LIBRARY"); path && *path) return path;
  return find_beside_own_file({"libkvx_base_batch.so.1", "../libkvx_base_batch.so.1", KVX_INSTALLED_BATCH_LIBRARY,
                               std::filesystem::path("../..") / KVX_LIBDIR_BATCH_LIBRARY},
                              KVX_BATCH_LIBRARY_PATH);
}

Batch_library::Batch_library(std::string path)
    : path_(std::move(path)), handle_(dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) throw std::runtime_error(std::string("cannot load the batch library: ") + dlerror());
  auto* const find = reinterpret_cast<kvx_batch_function* (*)(char const*)>(dlsym(handle_, "kvx_batch_find"));
  target_ = reinterpret_cast<char const* (*)()>(dlsym(handle_, "kvx_batch_target"));
  use_target_ = reinterpret_cast<int (*)(char const*)>(dlsym(handle_, "kvx_batch_use_target"));
  if (find && target_ && use_target_)
    for (auto const& row : catalogue::shaders) functions_[row.index] = find(row.name.data());
  for (auto* function : functions_)
    if (!function) {
      dlclose(handle_);
      throw std::runtime_error(path_ + " is no batch library of these 402 shaders");
    }
}

Batch_library::~Batch_library() { dlclose(handle_); }

}  // namespace kvx::host
