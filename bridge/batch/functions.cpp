// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the functions family.
#define KVX_EMIT_FAMILY_functions 1
#include <bridge/batch/entries.h>
