// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the state read-outs and texture lookups.
#define KVX_EMIT_FAMILY_state 1
#define KVX_EMIT_FAMILY_texture 1
#include <bridge/batch/entries.h>
