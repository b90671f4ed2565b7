// SPDX-License-Identifier: Apache-2.0
// Every math operation, and the name of a catalogue row's operation type:
// what the code that stamps the shaders from the table computes with.
#pragma once

#include <shaders/math/arithmetic.h>
#include <shaders/math/comparison.h>
#include <shaders/math/functions.h>
#include <shaders/math/geometry.h>

// The operation type of a math row.
#define KVX_OPERATION(operation) ::kvx::shaders::op_##operation
