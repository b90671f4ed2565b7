// SPDX-License-Identifier: Apache-2.0
// A faulty plug-in for the tests, loaded as KVX_LIBRARY: the built library
// behind every exported entry, except that Math_int_add's C entry clears the
// low bit of an odd result of 2^24 or more. The two paths then differ in bits
// that a float cannot hold (2^24 + 1 and 2^24 are the same float), which
// every comparison of the two paths must still find.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

void* built_library() {
  static void* const library = dlopen(KVX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  return library;
}

using Entry = int(void* result, void* state, void* params);

// One instantiation a shader, so that each keeps its own entry.
template <unsigned Index>
int forward(char const* name, void* result, void* state, void* params) {
  static auto* const entry = reinterpret_cast<Entry*>(dlsym(built_library(), name));
  int const status = entry(result, state, params);
  if (std::string_view(name) == "Math_int_add") {
    std::int32_t value;
    std::memcpy(&value, result, sizeof value);
    if (value >= (1 << 24) && value % 2 == 1) value ^= 1;
    std::memcpy(result, &value, sizeof value);
  }
  return status;
}

}  // namespace

extern "C" {

void* initializer(unsigned index) {
  static auto* const real = reinterpret_cast<void* (*)(unsigned)>(dlsym(built_library(), "initializer"));
  return real(index);
}

#define KVX_SHADER(index, name, operation, type) \
  int name(void* result, void* state, void* params) { return forward<index>(#name, result, state, params); }
#include <catalogue/shaders.def>

}  // extern "C"
