// SPDX-License-Identifier: Apache-2.0
// A renderer-like program built against the installed package: it compiles
// against the installed headers, exports the four host functions the plug-in
// imports, loads the installed plug-in and asks it for its first shader.
#include <dlfcn.h>

#include <cstdio>
#include <string_view>

#include <bridge/interface.h>
#include <catalogue/catalogue.h>
#include <plugin/plugin.h>

// The host's side, as little of it as loading and naming needs.
extern "C" {
int zr_query(int, Host_state*, int, ...) { return 0; }
void* zr_phen_eval(Host_state*, void*) { return nullptr; }
int zr_shaderstate_set(Host_state*, char const*, void const*, int, int) { return 0; }
ZR::SHADER::Runtime_interface* zr_get_korvex_interface(int) { return nullptr; }
}

int main() {
  static_assert(kvx::catalogue::shader_count == 402);
  void* library = dlopen(KVX_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "consumer: %s\n", dlerror());
    return 1;
  }
  auto* initializer = reinterpret_cast<ZR::PLUG::Plugin* (*)(unsigned)>(dlsym(library, "initializer"));
  ZR::PLUG::Plugin* first = initializer ? initializer(0) : nullptr;
  if (!first) {
    std::fprintf(stderr, "consumer: no initializer(0) in %s\n", KVX_PLUGIN);
    return 1;
  }
  std::string_view const name = first->get_name();
  first->release();
  if (name != "softshader_Math_float_add" || initializer(kvx::catalogue::shader_count) != nullptr) {
    std::fprintf(stderr, "consumer: initializer(0) made '%.*s'\n", int(name.size()), name.data());
    return 1;
  }
  std::printf("consumer: initializer(0) made %.*s\n", int(name.size()), name.data());
  return 0;
}
