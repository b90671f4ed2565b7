// SPDX-License-Identifier: Apache-2.0
// Loads the plug-in library the way a renderer does: dlopen, then symbols by
// name. The host process must already export the four host C functions.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>

#include <host/constant_memory.h>
#include <host/plugin_objects.h>
#include <plugin/objects/plugin.h>

namespace kvx::host {

// The first of `candidates`, paths relative to the folder of the file holding
// this code (a program, or the Python module), that exists; else `built`.
std::string find_beside_own_file(std::initializer_list<std::filesystem::path> candidates, std::string const& built);

class Library {
 public:
  // The built library by default; KVX_LIBRARY in the environment overrides.
  explicit Library(std::string path = default_path());
  ~Library();
  Library(Library const&) = delete;
  Library& operator=(Library const&) = delete;

  static std::string default_path();
  std::string const& path() const { return path_; }

  // Where the plug-in's constants lie, its parameter names among them.
  Constant_memory const& constants() const { return constants_; }

  // The exported symbol, or null.
  void* symbol(char const* name) const;
  template <class F>
  F* function(char const* name) const { return reinterpret_cast<F*>(symbol(name)); }

  // initializer(index): a new plug-in, or null past the last shader.
  ZR::PLUG::Plugin* plugin(unsigned index) const { return initializer_(index); }
  // The same, as the shader plug-in it is for the catalogue's index, owned.
  Plugin_ptr shader_plugin(unsigned index) const {
    return Plugin_ptr(static_cast<ZR::SHADER::Software_shader_plugin*>(initializer_(index)));
  }

 private:
  std::string path_;
  void* handle_;
  ZR::PLUG::Plugin* (*initializer_)(unsigned);
  Constant_memory constants_;
};

}  // namespace kvx::host
