// The library is built with hidden visibility; only what a host may name is
// marked for export.
#pragma once

#define KVX_EXPORT __attribute__((visibility("default")))
