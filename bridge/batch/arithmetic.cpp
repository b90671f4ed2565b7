// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the arithmetic family.
#define KVX_EMIT_FAMILY_arithmetic 1
#include <bridge/batch/entries.h>
