// SPDX-License-Identifier: Apache-2.0
// The library is built with hidden visibility; only what a host may name is
// marked for export.
#pragma once

#define KVX_EXPORT __attribute__((visibility("default")))
// For library-internal entities whose template arguments are exported types,
// which would otherwise lend them their visibility.
#define KVX_HIDDEN __attribute__((visibility("hidden")))
