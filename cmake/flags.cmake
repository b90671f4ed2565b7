# SPDX-License-Identifier: Apache-2.0
# Compiler flags: instrumentation for every target of an instrumented build,
# and the flags of our own code, which each of our targets takes privately so
# that nothing that links or installs our targets inherits them.

if(KVX_SANITIZE)
  # Float-to-int overflow is checked too: the library must never rely on it.
  # The dynamic-type check is not: host objects need carry no type information
  # (a host may be built without it), and the tests build some from raw tables.
  set(kvx_sanitize_flags -fsanitize=${KVX_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(KVX_SANITIZE MATCHES undefined)
    list(APPEND kvx_sanitize_flags -fsanitize=float-cast-overflow -fno-sanitize=vptr)
  endif()
  add_compile_options(${kvx_sanitize_flags})
  add_link_options(${kvx_sanitize_flags})
  add_compile_definitions(KVX_SANITIZED)
endif()

if(KVX_COVERAGE)
  # Counters updated atomically: the tests shade on several threads.
  add_compile_options(--coverage -fprofile-update=atomic)
  add_link_options(--coverage)
  add_compile_definitions(KVX_COVERAGE)
endif()

# Numerics are IEEE single precision, one rounding per operation in source
# order: no contraction into fused multiply-adds, no fast-math. The C library
# functions are always called, never expanded inline or folded by the compiler,
# which may do either in one context and not in another and so round, or quiet
# a signalling NaN, differently on the two paths. Exceptions from the host pass
# through the library, so unwind tables stay on.
set(KVX_LIBM_FUNCTIONS sinf cosf tanf asinf acosf atanf atan2f expf logf log10f
  powf fmodf floorf ceilf modff sqrtf pow)
list(TRANSFORM KVX_LIBM_FUNCTIONS PREPEND -fno-builtin- OUTPUT_VARIABLE kvx_no_builtins)
set(KVX_COMPILE_OPTIONS
  -ffp-contract=off -fno-fast-math ${kvx_no_builtins} -fexceptions -funwind-tables
  -Wall -Wextra -Wpedantic $<$<BOOL:${KVX_WARNINGS_AS_ERRORS}>:-Werror>)

# kvx_own_flags(TARGET): our flags, private to the target.
function(kvx_own_flags target)
  target_compile_options(${target} PRIVATE ${KVX_COMPILE_OPTIONS})
endfunction()
