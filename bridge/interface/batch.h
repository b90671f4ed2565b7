/* SPDX-License-Identifier: Apache-2.0 */
/* Every shader over many points at once, for hosts that shade in waves
   (wavefront renderers, texture bakers, array pipelines), in C (C11) and
   C++: the library libkvx_base_batch.so, apart from the plug-in, which it
   neither loads nor needs. For each of the 402 shaders of
   catalogue/shaders.def, kvx_batch_<shader> computes "result" at `count`
   points, each bit for bit what the shader's C entry computes in plain mode
   from the same parameter values (signed zeros, subnormals, infinities, NaN
   payloads and signs, int wrap-around).

     kvx_batch_values const in[2] = {{lefts, sizeof(float)}, {&two, 0}};
     float sums[1024];
     kvx_batch_Math_float_add(NULL, 1024, in, (kvx_batch_results){sums, sizeof(float)});

   Values are laid out as the shader's types lay them out, point after point
   (an array of values): a bool component one byte, an int or float
   component four, a float3 12 bytes, a bool3 3, a color the four floats r,
   g, b, a. Each parameter is an array with a stride, or one value for every
   point. The calls share nothing: any thread may call any function at any
   time. */
#ifndef KVX_BASE_BATCH_H
#define KVX_BASE_BATCH_H

#include <stddef.h>
#include <stdint.h>

/* The interface's version, which kvx_batch_version() returns. */
#define KVX_BATCH_VERSION 1

#ifdef __cplusplus
extern "C" {
#endif

/* One parameter's values: point i's value at data + i * stride bytes. A
   stride of 0 gives every point the one value at `data`; a null `data` gives
   every point the parameter's declared default (zero for int, bool and
   texture parameters). Strides may be negative, and values unaligned. */
typedef struct kvx_batch_values {
  void const* data;
  ptrdiff_t stride;
} kvx_batch_values;

/* Where the results go: point i's at data + i * stride bytes, each the
   result type's own width (a float3 12 bytes, a bool 1). */
typedef struct kvx_batch_results {
  void* data;
  ptrdiff_t stride;
} kvx_batch_results;

/* The texture lookups' kinds: how many floats a coordinate has. */
enum kvx_batch_lookup {
  KVX_BATCH_TEX1D = 1,  /* one float */
  KVX_BATCH_TEX2D = 2,  /* two */
  KVX_BATCH_TEX3D = 3,  /* three */
  KVX_BATCH_TEXCUBE = 4 /* three: a direction */
};

/* The host's texture lookups, a run of points at a time: for each of `count`
   points its texture handle, its coordinate (packed: 1, 2 or 3 floats a
   point, as the lookup has), and where its color goes (four floats a point),
   each array packed and aligned for its type.
   The library passes the colors on unchanged. */
typedef void kvx_batch_texture_lookup(void* user, enum kvx_batch_lookup lookup, size_t count,
                                      uint32_t const* textures, float const* coordinates, float* colors);

/* What the host provides; only the texture shaders ask it anything. */
typedef struct kvx_batch_host {
  kvx_batch_texture_lookup* lookup;
  void* user; /* handed to lookup as it is */
} kvx_batch_host;

/* What a batch function returns. */
enum kvx_batch_status {
  KVX_BATCH_DONE = 0,
  KVX_BATCH_NO_LOOKUP = 1,  /* a texture shader without host->lookup: nothing computed */
  KVX_BATCH_NO_ARRAY = 2    /* a null result, or a State_ shader's null values: nothing computed */
};

/* kvx_batch_<shader>(host, count, parameters, result): `parameters` holds
   one kvx_batch_values a parameter, in the catalogue's order (none for a
   shader without parameters). A State_ shader reads what the host knows of
   its field: parameters[0] holds its values at every point, as the result
   type lays them out, except that State_backside, State_inside and
   State_orthographic read 32-bit ints and give 1 for any non-zero one.
   `host` may be null but for the texture shaders. */
typedef enum kvx_batch_status kvx_batch_function(kvx_batch_host const* host, size_t count,
                                                 kvx_batch_values const* parameters, kvx_batch_results result);

/* KVX_BATCH_VERSION. */
int kvx_batch_version(void);

/* The batch function of the named shader, or null. */
kvx_batch_function* kvx_batch_find(char const* shader);

/* The instruction set the functions run on: "sse2", "avx2" or "avx512",
   the widest this processor has, or the one the environment variable
   KVX_BATCH_TARGET names. Every one gives the same bits. */
char const* kvx_batch_target(void);
/* Runs the functions on the named instruction set from now on: 1, or 0 if
   the processor lacks it or there is none of that name. */
int kvx_batch_use_target(char const* target);

#pragma GCC visibility push(default)
#define KVX_SHADER(index, name, operation, type) kvx_batch_function kvx_batch_##name;
#include <catalogue/shaders.def>
#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
