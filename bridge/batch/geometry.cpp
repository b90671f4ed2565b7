// SPDX-License-Identifier: Apache-2.0
// Emits the batch functions of the geometry family.
#define KVX_EMIT_FAMILY_geometry 1
#include <bridge/batch/entries.h>
