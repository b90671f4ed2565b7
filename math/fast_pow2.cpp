// SPDX-License-Identifier: Apache-2.0
// Gives the exported fast_pow2 and its EXP_C a home even if no shader of a
// build kept an out-of-line copy.
#include <math/fast_pow2.h>
