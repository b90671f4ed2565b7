/* SPDX-License-Identifier: Apache-2.0 */
/* The headers for C hosts compile as C11, pedantic: every shader's entry taken
   as a typed pointer through the catalogue, as a C host would find them, and
   every batch function; the catalogue's blocks and table as the build writes
   them. */
#include <kvx_base/parameters.h>
#include <kvx_base/shader_table.h>

#include <bridge/interface/batch.h>
#include <bridge/interface/c_entries.h>
#include <bridge/interface/c_host.h>
#include <bridge/interface/versions.h>

kvx_entry* const kvx_c_entries[] = {
#define KVX_SHADER(index, name, operation, type) &name,
#include <catalogue/shaders.def>
};
kvx_initializer* const kvx_c_initializer = &initializer;
int const kvx_c_interface_version = KVX_BASE_C_INTERFACE_VERSION;

kvx_batch_function* const kvx_c_batch_functions[] = {
#define KVX_SHADER(index, name, operation, type) &kvx_batch_##name,
#include <catalogue/shaders.def>
};
int const kvx_c_batch_version = KVX_BATCH_VERSION;

kvx_shader_info const* const kvx_c_table = kvx_shaders;
kvx_Math_color_lerp_parameters const* const kvx_c_lerp_defaults = &kvx_Math_color_lerp_defaults;
