// SPDX-License-Identifier: Apache-2.0
// The catalogue's value types: the vocabulary of every operation here.
#pragma once

#include <catalogue/types.h>

namespace kvx::shaders {

using catalogue::Type;
using catalogue::Value;

}  // namespace kvx::shaders
