// SPDX-License-Identifier: Apache-2.0
// The plug-in class and the shader-object class of every catalogue row.
//
// For a shader <shader>, in namespace ZR::SHADER:
//   <shader>_shader_plugin  the plug-in: identity, new_instance
//   Kvx_<shader>            the shader object: one field per parameter, named
//                           after it, at the type's own width; Result, main,
//                           release
// Both derive directly from their interface base. The stamping macros only name
// things and forward: all logic lives in plugin/objects/shader_object.h and in the
// operations under shaders/.
#pragma once

#include <catalogue/catalogue.h>
#include <catalogue/signatures.h>
#include <plugin/objects/plugin.h>
#include <plugin/objects/shader_object.h>
#include <shaders/math/operations.h>
#include <shaders/state/state.h>
#include <shaders/state/texture.h>

#define KVX_FIELD(name, type, rule) ::kvx::catalogue::Value<KVX_TYPE_##type> name;
#define KVX_FIELD_ARGUMENT(name, type, rule) , name
#define KVX_FIELD_POINTER(name, type, rule) , &Object::name

#define KVX_SHADER_CLASSES(index, Name, Operation, PARAMETERS, type)                           \
  class KVX_EXPORT Kvx_##Name final : public Shader {                                          \
   public:                                                                                     \
    PARAMETERS(KVX_FIELD, type)                                                                \
    struct Result {                                                                            \
      void* result; /* the value named "result"; null: gathering answers zeros */            \
    };                                                                                         \
    void main(State* state, Data_block* block) override {                                      \
      ::kvx::plugin::run_main<index, Operation>(state, block PARAMETERS(KVX_FIELD_ARGUMENT, type));    \
    }                                                                                          \
    void release() const override { delete this; }                                            \
  };                                                                                           \
  class KVX_EXPORT Name##_shader_plugin final : public Software_shader_plugin {                \
   public:                                                                                     \
    using Object = Kvx_##Name;                                                                 \
    char const* get_name() const override { return "softshader_" #Name; }                      \
    char const* get_type() const override { return ::kvx::plugin::plugin_type; }                       \
    int get_version() const override { return ::kvx::plugin::plugin_version; }                        \
    char const* get_compiler() const override { return ::kvx::plugin::compiler_name; }                 \
    void release() override { delete this; }                                                   \
    Shader* new_instance(Shader_system*, Data_block* block) const override {                   \
      return ::kvx::plugin::new_shader_object<Object, index PARAMETERS(KVX_FIELD_POINTER, type)>(block); \
    }                                                                                          \
    Brdf* new_brdf_instance(Shader_system*, Data_block*) const override { return nullptr; }    \
    char const* get_runtime_version() const override { return ::kvx::plugin::runtime_version; }        \
    void delete_brdf_instance(Shader_system*, Brdf*) const override {}                         \
    void initialize() override {}                                                              \
    void finalize() override {}                                                                \
  };

// A translation unit that emits one family (plugin/emit/emit.h) defines only that
// family's classes: the others' member bodies would instantiate their whole
// call path there for nothing.
#ifdef KVX_EMIT_ONE_FAMILY
#define KVX_FAMILY(family) KVX_EMIT_FAMILY_##family
#endif

namespace ZR::SHADER {
#define KVX_SHADER(index, name, operation, type) \
  KVX_SHADER_CLASSES(index, name, KVX_OPERATION(operation), KVX_PARAMETERS_OF(operation), type)
#define KVX_STATE(index, field, source, result, id, entry) \
  KVX_SHADER_CLASSES(index, State_##field, ::kvx::shaders::op_read_state<index>, KVX_NO_PARAMETERS, result)
#include <catalogue/shaders.def>
}  // namespace ZR::SHADER

#undef KVX_SHADER_CLASSES
#undef KVX_FIELD
#undef KVX_FIELD_ARGUMENT
#undef KVX_FIELD_POINTER
