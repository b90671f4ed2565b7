// SPDX-License-Identifier: Apache-2.0
// The plug-in class tree and the shader-object base, as the host sees them.
//
// The host calls every operation through the virtual tables, so declaration
// order below is slot order and must not change. Every member is defined
// inline; the vtables, type information and members are exported as weak
// symbols from each translation unit that needs them.
#pragma once

#include <bridge/interface/interface.h>
#include <bridge/interface/export.h>
#include <bridge/interface/versions.h>

namespace ZR::SHADER {
class Shader;
}

namespace ZR::PLUG {

// Each base keeps an out-of-line constructor, so its virtual table, type
// information and members are emitted and exported like the stamped classes'.
#define KVX_EMITTED_CONSTRUCTOR(Class) \
  [[gnu::used]] Class() noexcept {}

class KVX_EXPORT Plugin {
 public:
  KVX_EMITTED_CONSTRUCTOR(Plugin)
  virtual int get_plugin_system_version() { return KVX_BASE_PLUGIN_SYSTEM_VERSION; }
  virtual char const* get_name() const = 0;
  virtual char const* get_type() const = 0;
  virtual int get_version() const { return 1; }
  virtual char const* get_compiler() const { return "unknown"; }
  virtual void release() { delete this; }
  // Serves no property: reports 0 and leaves *value untouched.
  virtual int get_string_property(int, char const**) { return 0; }
  [[gnu::used]] virtual ~Plugin() {}
};

}  // namespace ZR::PLUG

namespace ZR::SHADER {

class KVX_EXPORT Software_shader_plugin : public ZR::PLUG::Plugin {
 public:
  KVX_EMITTED_CONSTRUCTOR(Software_shader_plugin)
  char const* get_name() const override = 0;
  char const* get_type() const override = 0;
  int get_version() const override = 0;
  char const* get_compiler() const override = 0;
  [[gnu::used]] ~Software_shader_plugin() override {}
  virtual Shader* new_instance(Shader_system* system, Data_block* block) const = 0;
  virtual Brdf* new_brdf_instance(Shader_system* system, Data_block* block) const = 0;
  virtual char const* get_runtime_version() const = 0;
  virtual void delete_brdf_instance(Shader_system* system, Brdf* brdf) const = 0;
  virtual void initialize() = 0;
  virtual void finalize() = 0;
};

// A shader object ends only through release(): there is no virtual destructor,
// and the table holds exactly these three slots.
class KVX_EXPORT Shader {
 public:
  KVX_EMITTED_CONSTRUCTOR(Shader)
  virtual void main(State* state, Data_block* block) = 0;
  virtual void event(Event_type, Event_context*) {}
  virtual void release() const = 0;

 protected:
  ~Shader() = default;
};

}  // namespace ZR::SHADER

#undef KVX_EMITTED_CONSTRUCTOR

namespace kvx::plugin {
// Identity every shader plug-in reports.
inline constexpr char plugin_type[] = "softshader";
inline constexpr char compiler_name[] = "korvex";
inline constexpr int plugin_version = KVX_BASE_PLUGIN_VERSION;
// One string shared by all plug-ins.
inline constexpr char runtime_version[] = KVX_BASE_RUNTIME_VERSION;
}  // namespace kvx::plugin
