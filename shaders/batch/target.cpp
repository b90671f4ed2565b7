// SPDX-License-Identifier: Apache-2.0
// The kernels of one instruction set, the one KVX_BATCH_TARGET names: the
// build compiles this unit once for each, with that set's flags.
#include <shaders/batch/kernels.h>

namespace kvx::shaders::batch::KVX_BATCH_TARGET {

Kernel_table const& kernels() {
  static constexpr Kernel_table table = table_of(std::make_index_sequence<catalogue::shader_count>{});
  return table;
}

}  // namespace kvx::shaders::batch::KVX_BATCH_TARGET
