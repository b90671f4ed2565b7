// SPDX-License-Identifier: Apache-2.0
// The catalogue for C hosts as the build writes it (<kvx_base/shader_table.h>,
// <kvx_base/parameters.h>): each shader in its factory place, and a block
// laid out from the table alone, every parameter its table default as a
// constant, evaluates as the same block with every tag unset.
#include <kvx_base/parameters.h>
#include <kvx_base/shader_table.h>

#include <cstring>
#include <string_view>

#include "support.h"

namespace kvx::test {
namespace {

static_assert(KVX_SHADER_COUNT == catalogue::shader_count);
static_assert(offsetof(kvx_Math_color_lerp_parameters, location) == 32 && sizeof(kvx_Math_color_lerp_block) == 96);

TEST(C_layouts, TheTableLaysOutEveryBlockAndItsDefaultsAreTheLibrarys) {
  for (unsigned i = 0; i < KVX_SHADER_COUNT; ++i) {
    kvx_shader_info const& info = kvx_shaders[i];
    catalogue::Shader const& row = catalogue::shaders[i];
    ASSERT_EQ(std::string_view(info.name), row.name);
    ASSERT_EQ(info.parameter_count, row.parameter_count) << row.name;
    EXPECT_EQ(static_cast<unsigned>(info.result), static_cast<unsigned>(row.result)) << row.name;
    if (info.parameter_count == 0) continue;

    Recording_host host;
    C_block constants, unset;
    host.record().set_tag_offset(constants.tag_offset());
    host.record().set_integer_tags(1);
    for (unsigned k = 0; k < info.parameter_count; ++k) {
      kvx_parameter_info const& p = info.parameters[k];
      std::memcpy(static_cast<unsigned char*>(constants.params()) + p.offset, p.default_value, p.slot_size);
      constants.set_tag_at(p.offset, KVX_TAG_CONSTANT);
      unset.set_tag_at(p.offset, p.has_default ? KVX_TAG_UNSET : KVX_TAG_CONSTANT);  // 0 in an unset int's slot
    }
    EXPECT_EQ(call_c(row.name, host, constants).area, call_c(row.name, host, unset).area) << row.name;
  }
}

}  // namespace
}  // namespace kvx::test
