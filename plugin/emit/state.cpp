// SPDX-License-Identifier: Apache-2.0
// Emits the state read-out and texture lookup shaders.
#define KVX_EMIT_FAMILY_state 1
#define KVX_EMIT_FAMILY_texture 1
#include <plugin/emit/emit.h>
#include <bridge/entry/entries.h>
