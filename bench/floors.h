// SPDX-License-Identifier: Apache-2.0
// The floor of every shader (bench/floor_entry.h), by catalogue index.
#pragma once

#include <bridge/interface/interface.h>

namespace kvx::bench {

using Entry = int(void*, Host_state*, void*);

// The generic floor of the shader at `index`: any mode, any parameter list.
Entry* floor_of(unsigned index);

// Math_float_add in plain mode, written out by hand.
int floor_float_add(void* result, Host_state* state, void* params);

// Each family's unit puts its rows' floors into table[index].
void add_floors_arithmetic(Entry** table);
void add_floors_functions(Entry** table);
void add_floors_comparison(Entry** table);
void add_floors_geometry(Entry** table);
void add_floors_state(Entry** table);

}  // namespace kvx::bench
