#include <host/library.h>

#include <cstdlib>
#include <stdexcept>

#include <dlfcn.h>

namespace kvx::host {

std::string Library::default_path() {
  if (char const* path = std::getenv("KVX_LIBRARY")) return path;
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
