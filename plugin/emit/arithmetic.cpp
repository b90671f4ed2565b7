// SPDX-License-Identifier: Apache-2.0
// Emits everything of the shaders of the arithmetic family.
#define KVX_EMIT_FAMILY_arithmetic 1
#include <plugin/emit/emit.h>
#include <bridge/entry/entries.h>
