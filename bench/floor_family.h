// SPDX-License-Identifier: Apache-2.0
// Defines KVX_FLOORS_OF(table), which puts the generic floors of the rows of
// the families selected with KVX_FLOOR_FAMILY_<family> into table[index].
// Included by one unit per family, as the library splits its own.
#include <shaders/math/arithmetic.h>
#include <shaders/math/comparison.h>
#include <shaders/math/functions.h>
#include <shaders/math/geometry.h>
#include <shaders/state/state.h>
#include <shaders/state/texture.h>

#include "floor_entry.h"
#include "floors.h"

void kvx::bench::KVX_FLOORS_OF(Entry** table) {
#define KVX_FAMILY(family) KVX_FLOOR_FAMILY_##family
#define KVX_SHADER(index, name, operation, type) table[index] = &floor_entry<index, shaders::op_##operation>;
#define KVX_STATE(index, field, source, result, id, entry) \
  table[index] = &floor_entry<index, shaders::op_read_state<index>>;
#include <catalogue/shaders.def>
}
