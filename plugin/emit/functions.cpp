// SPDX-License-Identifier: Apache-2.0
// Emits everything of the shaders of the functions family.
#define KVX_EMIT_FAMILY_functions 1
#include <plugin/emit/emit.h>
#include <bridge/entry/entries.h>
