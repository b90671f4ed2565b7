// SPDX-License-Identifier: Apache-2.0
// Emits the C interface of the shaders whose families the including
// translation unit selects with KVX_EMIT_FAMILY_<family>.
//
// For a shader <shader>, with C linkage:
//   <shader>(result, state, params)      the call entry
//   <shader>_version()                   4
//   <shader>_init(state, params, request), <shader>_exit(state, params)
// and the exported ZR::SHADER::gather<Kvx_<shader>::Result>.
// The definitions below must match the declarations hosts compile against.
#include <bridge/interface/c_entries.h>
#include <bridge/entry/call_entry.h>
#include <bridge/entry/gather.h>
#include <bridge/entry/lifecycle.h>
#include <plugin/objects/classes.h>

#define KVX_C_ENTRIES(index, name, Operation)                                                     \
  namespace kvx::bridge {                                                                         \
  template <>                                                                                     \
  inline constexpr unsigned shader_of_result<ZR::SHADER::Kvx_##name::Result> = index;             \
  }                                                                                               \
  extern "C" KVX_EXPORT int name(void* result, Host_state* state, void* params) {                 \
    return ::kvx::bridge::call_entry<index, Operation, ZR::SHADER::Kvx_##name::Result>(result, state, params); \
  }                                                                                               \
  extern "C" KVX_EXPORT int name##_version() { return ::kvx::bridge::c_interface_version; }               \
  extern "C" KVX_EXPORT void name##_init(Host_state* state, void* params, std::int32_t* request) { \
    ::kvx::bridge::shader_init<ZR::SHADER::name##_shader_plugin, index>(state, params, request);          \
  }                                                                                               \
  extern "C" KVX_EXPORT void name##_exit(Host_state* state, void* params) {                       \
    ::kvx::bridge::shader_exit<ZR::SHADER::name##_shader_plugin, index>(state, params);                   \
  }                                                                                               \
  template void ZR::SHADER::gather(ZR::SHADER::State*, ZR::SHADER::Kvx_##name::Result const*);

#define KVX_FAMILY(family) KVX_EMIT_FAMILY_##family
#define KVX_SHADER(index, name, operation, type) KVX_C_ENTRIES(index, name, KVX_OPERATION(operation))
#define KVX_STATE(index, field, source, result, id, entry) \
  KVX_C_ENTRIES(index, State_##field, ::kvx::shaders::op_read_state<index>)
#include <catalogue/shaders.def>

#undef KVX_C_ENTRIES
