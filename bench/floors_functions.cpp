// SPDX-License-Identifier: Apache-2.0
#define KVX_FLOOR_FAMILY_functions 1
#define KVX_FLOORS_OF add_floors_functions
#include "floor_family.h"
