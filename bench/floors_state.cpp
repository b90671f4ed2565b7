// SPDX-License-Identifier: Apache-2.0
#define KVX_FLOOR_FAMILY_state 1
#define KVX_FLOOR_FAMILY_texture 1
#define KVX_FLOORS_OF add_floors_state
#include "floor_family.h"
