// SPDX-License-Identifier: Apache-2.0
// A run of points a batch kernel computes, and the kernels of each
// instruction set: what the vector forms of the operations and their callers
// share. The scalar computation, the shader's one compiled copy, is the
// definition; a kernel is its vector form, and gives its bits.
#pragma once

#include <array>
#include <cstddef>

#include <catalogue/catalogue.h>

namespace kvx::shaders::batch {

// `count` points whose parameter values and results lie packed: point i's
// value of parameter k at inputs[k] + i * width, or, where held[k], the one
// value at inputs[k] for every point; its result at out + i * width, as the
// types lay them out.
struct Run {
  std::size_t count;
  void const* inputs[catalogue::max_parameters];
  bool held[catalogue::max_parameters];
  void* out;
  // Computes point i with the shader's one compiled copy, in place.
  void (*point)(Run const& run, std::size_t i);
};

// Computes a whole run.
using Kernel = void (*)(Run const& run);

// The kernel of each catalogue row, or null where the row's points run one at
// a time through the one compiled copy.
using Kernel_table = std::array<Kernel, catalogue::shader_count>;

// Each instruction set's table, from a unit compiled for it.
namespace sse2 {
Kernel_table const& kernels();
}
namespace avx2 {
Kernel_table const& kernels();
}
namespace avx512 {
Kernel_table const& kernels();
}

}  // namespace kvx::shaders::batch
