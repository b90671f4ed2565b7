// SPDX-License-Identifier: Apache-2.0
// Loads the batch library, libkvx_base_batch.so, the way a host may: dlopen,
// then its functions by name. It needs nothing of the host.
#pragma once

#include <array>
#include <string>

#include <bridge/interface/batch.h>
#include <catalogue/catalogue.h>

namespace kvx::host {

class Batch_library {
 public:
  // The built library by default; KVX_BATCH_LIBRARY in the environment overrides.
  explicit Batch_library(std::string path = default_path());
  ~Batch_library();
  Batch_library(Batch_library const&) = delete;
  Batch_library& operator=(Batch_library const&) = delete;

  static std::string default_path();
  std::string const& path() const { return path_; }

  // The batch function of the shader at a catalogue index.
  kvx_batch_function* function(unsigned index) const { return functions_[index]; }
  // The instruction set in use, and a change of it (false if there is none such here).
  char const* target() const { return target_(); }
  bool use_target(char const* name) const { return use_target_(name) != 0; }

 private:
  std::string path_;
  void* handle_;
  std::array<kvx_batch_function*, catalogue::shader_count> functions_{};
  char const* (*target_)();
  int (*use_target_)(char const*);
};

}  // namespace kvx::host
