// SPDX-License-Identifier: Apache-2.0
// docs/host-interface.md against the headers it describes: every slot number
// and record offset it lists is the one the library is compiled with, and it
// lists every one of them; its table of the checked build's findings is
// bridge/check/findings.def's.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <bridge/interface/interface.h>
#include <bridge/interface/host_state.h>

#include "support.h"

namespace {

using namespace ZR::SHADER;
using kvx::test::slot_of;
namespace record = kvx::bridge::record_field;

using Row = std::tuple<std::string, std::string, unsigned>;  // object or record, name, slot or offset

std::set<Row> header_slots() {
  return {
      {"Runtime_interface", "release", slot_of(&Runtime_interface::release)},
      {"Runtime_interface", "get_state", slot_of(&Runtime_interface::get_state)},
      {"State", "get_state_int", slot_of(&State::get_state_int)},
      {"State", "get_state_float", slot_of(&State::get_state_float)},
      {"State", "get_state_float2", slot_of(&State::get_state_float2)},
      {"State", "get_state_float3", slot_of(&State::get_state_float3)},
      {"State", "get_state_float4", slot_of(&State::get_state_float4)},
      {"State", "get_shadow_weight", slot_of(&State::get_shadow_weight)},
      {"State", "lookup_tex1d", slot_of(&State::lookup_tex1d)},
      {"State", "lookup_tex2d", slot_of(&State::lookup_tex2d)},
      {"State", "lookup_tex3d", slot_of(&State::lookup_tex3d)},
      {"State", "lookup_texcube", slot_of(&State::lookup_texcube)},
      {"State", "get_render_settings", slot_of(&State::get_render_settings)},
      {"State", "release", slot_of(&State::release)},
      {"State", "get_host_state", slot_of(&State::get_host_state)},
      {"State", "get_output_requests", slot_of(&State::get_output_requests)},
      {"Render_settings", "get_int", slot_of(&Render_settings::get_int)},
      {"Render_settings", "get_float", slot_of(&Render_settings::get_float)},
      {"Render_settings", "get_camera", slot_of(&Render_settings::get_camera)},
      {"Camera_settings", "get_int", slot_of(&Camera_settings::get_int)},
      {"Camera_settings", "get_float", slot_of(&Camera_settings::get_float)},
      {"Camera_settings", "get_float2", slot_of(&Camera_settings::get_float2)},
      {"Data_block", "lookup", slot_of(&Data_block::lookup)},
      {"Data_block", "notify_output", slot_of(&Data_block::notify_output)},
  };
}

std::set<Row> header_offsets() {
  return {
      {"Host_state", "ray_type", record::ray_type},
      {"Host_state", "shadow_context", record::shadow_context},
      {"Host_state", "normal", record::normal},
      {"Host_state", "eval_settings", record::eval_settings},
      {"Eval_settings", "tag_offset", record::tag_offset},
      {"Eval_settings", "integer_tags", record::integer_tags},
      {"Output_request_list", "count", record::request_count},
      {"Output_request_list", "entries", record::request_entries},
      {"Output_request_list", "type_codes", record::request_type_codes},
      {"Output_request_list", "destinations", record::request_destinations},
      {"Output_request_list", "done", record::requests_done},
      {"Output_request", "kind", record::request_kind},
      {"Output_request", "name", record::request_name},
      {"Output_request", "id", record::request_id},
  };
}

// The cells of a Markdown table row, trimmed; empty for any other line.
std::vector<std::string> cells(std::string const& line) {
  std::vector<std::string> out;
  if (!line.starts_with("|")) return out;
  std::istringstream row(line.substr(1));
  for (std::string cell; std::getline(row, cell, '|');) {
    auto const first = cell.find_first_not_of(' '), last = cell.find_last_not_of(' ');
    out.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
  }
  return out;
}

bool is_number(std::string const& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

// The page's table rows whose first cell is one of `objects`, as (object,
// name, number); the number is the second cell (slots) or the third (offsets).
std::set<Row> documented(std::set<std::string> const& objects, bool number_first) {
  std::ifstream page(KVX_SOURCE_DIR "/docs/host-interface.md");
  std::set<Row> rows;
  for (std::string line; std::getline(page, line);) {
    auto const c = cells(line);
    if (c.size() < 3 || !objects.contains(c[0])) continue;
    std::string const& number = number_first ? c[1] : c[2];
    std::string const& name = number_first ? c[2] : c[1];
    if (!is_number(number)) continue;
    rows.emplace(c[0], name, static_cast<unsigned>(std::stoul(number, nullptr, 0)));
  }
  return rows;
}

TEST(Host_interface_guide, ListsEverySlotTheLibraryCalls) {
  EXPECT_EQ(documented({"Runtime_interface", "State", "Render_settings", "Camera_settings", "Data_block"}, true),
            header_slots());
}

TEST(Host_interface_guide, ListsEveryRecordFieldAtItsOffset) {
  EXPECT_EQ(documented({"Host_state", "Eval_settings", "Output_request_list", "Output_request"}, false),
            header_offsets());
}

// The findings by step, in the table's order within a step; '#' shown as N,
// '%' as P.
std::string findings_table() {
  struct Finding {
    int step;
    std::string host_did, library_did;
  };
  std::vector<Finding> rows = {
#define KVX_FINDING(name, step, host_did, library_did) {step, host_did, library_did},
#include <bridge/check/findings.def>
  };
  std::stable_sort(rows.begin(), rows.end(), [](auto const& a, auto const& b) { return a.step < b.step; });
  std::string table = "| what the host did | step | what the library does |\n|---|---:|---|\n";
  for (auto& row : rows) {
    std::replace(row.host_did.begin(), row.host_did.end(), '#', 'N');
    std::replace(row.host_did.begin(), row.host_did.end(), '%', 'P');
    table += "| " + row.host_did + " | " + std::to_string(row.step) + " | " + row.library_did + " |\n";
  }
  return table;
}

TEST(Host_interface_guide, ListsEveryFindingOfTheCheckedBuild) {
  std::ifstream page(KVX_SOURCE_DIR "/docs/host-interface.md");
  std::string table;
  bool in_table = false;
  for (std::string line; std::getline(page, line);) {
    in_table = in_table ? !line.empty() : line.starts_with("| what the host did |");
    if (in_table) table += line + "\n";
  }
  EXPECT_EQ(table, findings_table()) << "docs/host-interface.md's findings table should read:\n" << findings_table();
}

}  // namespace
