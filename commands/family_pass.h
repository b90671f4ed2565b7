// SPDX-License-Identifier: Apache-2.0
// One pass of families.h over the table: defines the row macros, which the
// table #undef's at its end, and takes the rows of the family selected by
// KVX_FAMILY_PASS_<family>. No include guard: included once per family.
#define KVX_FAMILY(f) KVX_FAMILY_PASS_##f
#define KVX_SHADER(index, name, operation, type) family[index] = KVX_FAMILY_PASS;
#include <catalogue/shaders.def>
#undef KVX_FAMILY_PASS
