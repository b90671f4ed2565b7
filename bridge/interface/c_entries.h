/* SPDX-License-Identifier: Apache-2.0 */
/* The library's exported functions, declared for C (C11) and C++ hosts: for
   each of the 402 shaders of catalogue/shaders.def its four C functions, and
   the C++ interface's factory `initializer`, with a type for each kind of
   function so that a host can take what dlsym gives into a typed pointer:

     kvx_entry* add = (kvx_entry*)dlsym(plugin, "Math_float_add");

   A host that links the plug-in in at build time instead may call them by
   name. The library compiles its definitions against these declarations. */
#ifndef KVX_BASE_C_ENTRIES_H
#define KVX_BASE_C_ENTRIES_H

#include <stdint.h>

#include <bridge/interface/versions.h>

#ifdef __cplusplus
/* The host's shading-state record: the host defines it (bridge/interface/c_host.h). */
struct Host_state;
namespace ZR {
namespace PLUG {
class Plugin;
}
}  // namespace ZR
typedef ZR::PLUG::Plugin kvx_plugin;
extern "C" {
#else
typedef struct Host_state Host_state;
/* A plug-in object of the C++ interface; a C host only hands it back. */
typedef struct kvx_plugin kvx_plugin;
#endif

/* <shader>(result, state, parameters): one shading evaluation; returns 1, or
   0 for the gathering-mode skip. */
typedef int kvx_entry(void* result, Host_state* state, void* parameters);
/* <shader>_version(): KVX_BASE_C_INTERFACE_VERSION. */
typedef int kvx_version(void);
/* <shader>_init(state, parameters, request): the shader-level init (null
   parameters) sets *request to ask for the instances' inits; an instance's
   init has its parameter block. */
typedef void kvx_init(Host_state* state, void* parameters, int32_t* instance_init_request);
/* <shader>_exit(state, parameters): the inits undone, instance by instance, then per shader. */
typedef void kvx_exit(Host_state* state, void* parameters);
/* initializer(index): the plug-in of shader `index` (0 to 401), null above. */
typedef kvx_plugin* kvx_initializer(unsigned index);

#pragma GCC visibility push(default)
kvx_initializer initializer;
#define KVX_SHADER(index, name, operation, type) \
  kvx_entry name;                                \
  kvx_version name##_version;                    \
  kvx_init name##_init;                          \
  kvx_exit name##_exit;
#include <catalogue/shaders.def>
#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
