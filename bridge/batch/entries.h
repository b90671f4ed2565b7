// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the shaders whose families the including
// translation unit selects with KVX_EMIT_FAMILY_<family>: for a shader
// <shader>, kvx_batch_<shader>(host, count, parameters, result), with C
// linkage, as <kvx_base/bridge/interface/batch.h> declares it.
#include <bridge/batch/driver.h>
#include <bridge/interface/export.h>
#include <shaders/math/operations.h>

#define KVX_BATCH_FUNCTION(name)                                                                        \
  extern "C" KVX_EXPORT kvx_batch_status kvx_batch_##name(kvx_batch_host const* host, std::size_t count, \
                                                          kvx_batch_values const* parameters,           \
                                                          kvx_batch_results result)

#ifdef KVX_EMIT_FAMILY_texture
#define KVX_SHADER(index, name, operation, type) \
  KVX_BATCH_FUNCTION(name) { return ::kvx::bridge::batch::run_texture<index>(host, count, parameters, result); }
#else
#define KVX_SHADER(index, name, operation, type)                                                        \
  KVX_BATCH_FUNCTION(name) {                                                                            \
    (void)host;                                                                                         \
    return ::kvx::bridge::batch::run_math<index, KVX_OPERATION(operation)>(count, parameters, result); \
  }
#endif
#define KVX_STATE(index, field, source, result_type, id, entry) \
  KVX_BATCH_FUNCTION(State_##field) {                           \
    (void)host;                                                 \
    return ::kvx::bridge::batch::run_state<index>(count, parameters, result); \
  }
#define KVX_FAMILY(family) KVX_EMIT_FAMILY_##family
#include <catalogue/shaders.def>

#undef KVX_BATCH_FUNCTION
