// SPDX-License-Identifier: Apache-2.0
#define KVX_FLOOR_FAMILY_geometry 1
#define KVX_FLOORS_OF add_floors_geometry
#include "floor_family.h"
