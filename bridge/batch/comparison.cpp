// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the comparison family.
#define KVX_EMIT_FAMILY_comparison 1
#include <bridge/batch/entries.h>
