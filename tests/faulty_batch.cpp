// SPDX-License-Identifier: Apache-2.0
// A faulty batch library for the tests, loaded as KVX_BATCH_LIBRARY: the
// built one behind every function, except that Math_int_add clears the low
// bit of an odd result of 2^24 or more, as the faulty plug-in's C entry does
// (faulty_plugin.cpp). Comparing all three paths must find it.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include <bridge/interface/batch.h>

namespace {

void* built_library() {
  static void* const library = dlopen(KVX_BATCH_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  return library;
}

template <class F>
F* built(char const* name) {
  return reinterpret_cast<F*>(dlsym(built_library(), name));
}

kvx_batch_status faulty_add(kvx_batch_host const* host, std::size_t count, kvx_batch_values const* parameters,
                            kvx_batch_results result) {
  static auto* const add = built<kvx_batch_function* (char const*)>("kvx_batch_find")("Math_int_add");
  kvx_batch_status const status = add(host, count, parameters, result);
  for (std::size_t i = 0; i < count; ++i) {
    auto* at = static_cast<unsigned char*>(result.data) + static_cast<std::ptrdiff_t>(i) * result.stride;
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    if (value >= (1 << 24) && value % 2 == 1) value ^= 1;
    std::memcpy(at, &value, sizeof value);
  }
  return status;
}

}  // namespace

extern "C" {

int kvx_batch_version(void) { return built<int()>("kvx_batch_version")(); }
char const* kvx_batch_target(void) { return built<char const*()>("kvx_batch_target")(); }
int kvx_batch_use_target(char const* name) { return built<int(char const*)>("kvx_batch_use_target")(name); }
kvx_batch_function* kvx_batch_find(char const* shader) {
  if (shader && std::string_view(shader) == "Math_int_add") return &faulty_add;
  return built<kvx_batch_function*(char const*)>("kvx_batch_find")(shader);
}

}  // extern "C"
