// SPDX-License-Identifier: Apache-2.0
// Emits everything of the shaders of the geometry family.
#define KVX_EMIT_FAMILY_geometry 1
#include <plugin/emit.h>
#include <bridge/entries.h>
