// SPDX-License-Identifier: Apache-2.0
// bridge/interface/c_host.h, the host's side for a renderer in C, against the C++
// interface the library is compiled with: every function of every table in
// the C++ table's slot, every record field at the library's offset, every
// value as wide. A C host built on these layouts is what the library calls.
#include <cstddef>

#include <bridge/interface/c_host.h>
#include <bridge/interface/host_state.h>

#include "support.h"

namespace kvx::test {
namespace {

using namespace ZR::SHADER;
namespace record = bridge::record_field;

template <class Table>
constexpr unsigned slots() {
  return sizeof(Table) / sizeof(void*);
}
#define KVX_C_SLOT(table, member) unsigned(offsetof(table, member) / sizeof(void*))

TEST(C_host, EveryTableHasTheCppInterfacesSlots) {
  EXPECT_EQ(KVX_C_SLOT(kvx_camera_settings_table, get_int), slot_of(&Camera_settings::get_int));
  EXPECT_EQ(KVX_C_SLOT(kvx_camera_settings_table, get_float), slot_of(&Camera_settings::get_float));
  EXPECT_EQ(KVX_C_SLOT(kvx_camera_settings_table, get_float2), slot_of(&Camera_settings::get_float2));
  EXPECT_EQ(KVX_C_SLOT(kvx_render_settings_table, get_int), slot_of(&Render_settings::get_int));
  EXPECT_EQ(KVX_C_SLOT(kvx_render_settings_table, get_float), slot_of(&Render_settings::get_float));
  EXPECT_EQ(KVX_C_SLOT(kvx_render_settings_table, get_camera), slot_of(&Render_settings::get_camera));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_state_int), slot_of(&State::get_state_int));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_state_float), slot_of(&State::get_state_float));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_state_float2), slot_of(&State::get_state_float2));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_state_float3), slot_of(&State::get_state_float3));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_state_float4), slot_of(&State::get_state_float4));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_shadow_weight), slot_of(&State::get_shadow_weight));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, lookup_tex1d), slot_of(&State::lookup_tex1d));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, lookup_tex2d), slot_of(&State::lookup_tex2d));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, lookup_tex3d), slot_of(&State::lookup_tex3d));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, lookup_texcube), slot_of(&State::lookup_texcube));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_render_settings), slot_of(&State::get_render_settings));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, release), slot_of(&State::release));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_host_state), slot_of(&State::get_host_state));
  EXPECT_EQ(KVX_C_SLOT(kvx_state_table, get_output_requests), slot_of(&State::get_output_requests));
  EXPECT_EQ(KVX_C_SLOT(kvx_runtime_interface_table, release), slot_of(&Runtime_interface::release));
  EXPECT_EQ(KVX_C_SLOT(kvx_runtime_interface_table, get_state), slot_of(&Runtime_interface::get_state));
  EXPECT_EQ(KVX_C_SLOT(kvx_data_block_table, lookup), slot_of(&Data_block::lookup));
  EXPECT_EQ(KVX_C_SLOT(kvx_data_block_table, notify_output), slot_of(&Data_block::notify_output));
  // Each table ends with its last slot.
  EXPECT_EQ(slots<kvx_camera_settings_table>(), slot_of(&Camera_settings::get_float2) + 1);
  EXPECT_EQ(slots<kvx_render_settings_table>(), slot_of(&Render_settings::get_camera) + 1);
  EXPECT_EQ(slots<kvx_state_table>(), slot_of(&State::get_output_requests) + 1);
  EXPECT_EQ(slots<kvx_runtime_interface_table>(), slot_of(&Runtime_interface::get_state) + 1);
  EXPECT_EQ(slots<kvx_data_block_table>(), slot_of(&Data_block::notify_output) + 1);
}

TEST(C_host, RecordsHaveTheLibrarysFieldsAndValuesTheirWidths) {
  EXPECT_EQ(offsetof(kvx_host_state_fields, ray_type), record::ray_type);
  EXPECT_EQ(offsetof(kvx_host_state_fields, shadow_context), record::shadow_context);
  EXPECT_EQ(offsetof(kvx_host_state_fields, normal), record::normal);
  EXPECT_EQ(offsetof(kvx_host_state_fields, eval_settings), record::eval_settings);
  EXPECT_EQ(offsetof(kvx_eval_settings_fields, tag_offset), record::tag_offset);
  EXPECT_EQ(offsetof(kvx_eval_settings_fields, integer_tags), record::integer_tags);
  EXPECT_EQ(offsetof(kvx_output_request_list, count), record::request_count);
  EXPECT_EQ(offsetof(kvx_output_request_list, entries), record::request_entries);
  EXPECT_EQ(offsetof(kvx_output_request_list, type_codes), record::request_type_codes);
  EXPECT_EQ(offsetof(kvx_output_request_list, destinations), record::request_destinations);
  EXPECT_EQ(offsetof(kvx_output_request_list, done), record::requests_done);
  EXPECT_EQ(sizeof(kvx_output_request), record::request_size);
  EXPECT_EQ(offsetof(kvx_output_request, kind), record::request_kind);
  EXPECT_EQ(offsetof(kvx_output_request, which.name), record::request_name);
  EXPECT_EQ(offsetof(kvx_output_request, which.id), record::request_id);
  EXPECT_EQ(sizeof(kvx_vector2), sizeof(Vector2));
  EXPECT_EQ(sizeof(kvx_vector3), sizeof(Vector3));
  EXPECT_EQ(sizeof(kvx_vector4), sizeof(Vector4));
  EXPECT_EQ(sizeof(kvx_color), sizeof(Color));
  EXPECT_EQ(sizeof(kvx_texture_handle), sizeof(Texture_handle));
  EXPECT_EQ(KVX_TAG_UNSET, bridge::tag_unset);
  EXPECT_EQ(KVX_TAG_CONSTANT, bridge::tag_constant);
  EXPECT_EQ(+KVX_QUERY_INSTANCE_SLOT, +QUERY_INSTANCE_SLOT);
  EXPECT_EQ(+KVX_QUERY_GATHER_FLAG, +QUERY_GATHER_FLAG);
}

}  // namespace
}  // namespace kvx::test
