// SPDX-License-Identifier: Apache-2.0
// The library and the host meet by slot number. These tests call the library's
// objects and build the host's objects from raw tables of function pointers,
// using none of the library's class declarations, as a host compiled against
// its own headers would.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

void** table_of(void* object) { return *static_cast<void***>(object); }

template <class R, class... A>
R call(void* object, int slot, A... arguments) {
  return reinterpret_cast<R (*)(void*, A...)>(table_of(object)[slot])(object, arguments...);
}

template <class F>
void* entry(F* function) { return reinterpret_cast<void*>(function); }

[[noreturn]] void unexpected_slot() { std::abort(); }

struct Vec2 { float x, y; };
struct Vec3 { float x, y, z; };
struct Rgba { float r, g, b, a; };

// Data_block: slot 0 lookup, slot 2 notify_output.
struct Raw_block {
  void* const* table;
  std::map<std::string, std::array<std::uint8_t, 16>> values;
  std::vector<std::string> calls;
};
void* raw_lookup(Raw_block* self, char const* name) {
  self->calls.push_back(std::string("lookup ") + name);
  auto it = self->values.find(name);
  return it == self->values.end() ? nullptr : it->second.data();
}
int raw_notify(Raw_block* self, char const* name) {
  self->calls.push_back(std::string("notify ") + name);
  return 0;
}
void* const block_table[] = {entry(raw_lookup), entry(unexpected_slot), entry(raw_notify)};

// Camera_settings slot 1, Render_settings slot 9, State slots 3, 55 and 61.
struct Raw_camera { void* const* table; };
float raw_camera_float(Raw_camera*, int id) { return id == 1 ? 35.0f : -1.0f; }
void* const camera_table[] = {entry(unexpected_slot), entry(raw_camera_float), entry(unexpected_slot)};
Raw_camera raw_camera{camera_table};

struct Raw_render { void* const* table; };
Raw_camera* raw_get_camera(Raw_render*) { return &raw_camera; }
std::array<void*, 10> render_table() {
  std::array<void*, 10> t;
  t.fill(entry(unexpected_slot));
  t[9] = entry(raw_get_camera);
  return t;
}
auto const raw_render_table = render_table();
Raw_render raw_render{raw_render_table.data()};

struct Raw_state { void* const* table; std::vector<int> slots; };
Vec3 raw_float3(Raw_state* self, int id) {
  self->slots.push_back(3);
  return id == 6 ? Vec3{1.5f, -2.5f, 3.5f} : Vec3{};
}
Rgba raw_tex2d(Raw_state* self, std::uint32_t texture, float const* coordinate) {
  self->slots.push_back(55);
  return {static_cast<float>(texture), coordinate[0], coordinate[1], 1.0f};
}
Raw_render* raw_render_settings(Raw_state* self) {
  self->slots.push_back(61);
  return &raw_render;
}
std::array<void*, 71> state_table() {
  std::array<void*, 71> t;
  t.fill(entry(unexpected_slot));
  t[3] = entry(raw_float3);
  t[55] = entry(raw_tex2d);
  t[61] = entry(raw_render_settings);
  return t;
}
auto const raw_state_table = state_table();

void* raw_plugin(char const* shader) { return library().plugin(row(shader).index); }

TEST(Raw_slots, PluginIdentityBySlot) {
  void* plugin = raw_plugin("Math_float3_normalize");
  EXPECT_EQ(call<int>(plugin, 0), 2);
  EXPECT_STREQ(call<char const*>(plugin, 1), "softshader_Math_float3_normalize");
  EXPECT_STREQ(call<char const*>(plugin, 2), "softshader");
  EXPECT_EQ(call<int>(plugin, 3), 2);
  EXPECT_STREQ(call<char const*>(plugin, 4), "korvex");
  char const* untouched = "x";
  EXPECT_EQ(call<int>(plugin, 6, 3, &untouched), 0);
  EXPECT_STREQ(untouched, "x");
  EXPECT_EQ(call<void*>(plugin, 10, nullptr, nullptr), nullptr);
  EXPECT_STREQ(call<char const*>(plugin, 11), "2.0.0");
  call<void>(plugin, 12, nullptr, nullptr);
  call<void>(plugin, 13);
  call<void>(plugin, 14);
  call<void>(plugin, 5);  // release
  // The deleting destructor, as the C path's shader-level exit ends a plug-in.
  call<void>(raw_plugin("State_origin"), 8);
}

TEST(Raw_slots, ShaderObjectCapturesFromARawBlockAndRunsMainBySlot) {
  void* plugin = raw_plugin("Math_float_add");
  Raw_block inputs{block_table, {}, {}};
  float left = 2.5f, right = 4.0f;
  std::memcpy(inputs.values["left"].data(), &left, 4);
  std::memcpy(inputs.values["right"].data(), &right, 4);
  void* object = call<void*>(plugin, 9, nullptr, &inputs);
  EXPECT_EQ(inputs.calls, (std::vector<std::string>{"lookup left", "lookup left", "lookup right", "lookup right"}));

  Raw_block output{block_table, {}, {}};
  output.values["result"] = {};
  call<void>(object, 0, nullptr, &output);
  EXPECT_EQ(output.calls, (std::vector<std::string>{"lookup result", "notify result"}));
  float result;
  std::memcpy(&result, output.values["result"].data(), 4);
  EXPECT_EQ(result, 6.5f);
  call<void>(object, 1, 0, nullptr);  // event: does nothing
  call<void>(object, 2);              // release
  call<void>(plugin, 5);
}

struct Raw_case {
  char const* shader;
  std::vector<int> slots;
  std::vector<float> expected;
};

TEST(Raw_slots, StateAndTextureShadersCallTheHostBySlot) {
  Raw_case const cases[] = {{"State_position", {3}, {1.5f, -2.5f, 3.5f}},
                            {"State_focal_length", {61}, {35.0f}},
                            {"Math_color_tex2d", {55}, {9.0f, 0.25f, 0.75f, 1.0f}}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.shader);
    void* plugin = raw_plugin(c.shader);
    Raw_block inputs{block_table, {}, {}};
    std::uint32_t texture = 9;
    float coordinate[2] = {0.25f, 0.75f};
    std::memcpy(inputs.values["texture"].data(), &texture, 4);
    std::memcpy(inputs.values["coordinate"].data(), coordinate, 8);
    void* object = call<void*>(plugin, 9, nullptr, &inputs);

    Raw_state state{raw_state_table.data(), {}};
    Raw_block output{block_table, {}, {}};
    output.values["result"] = {};
    call<void>(object, 0, &state, &output);
    EXPECT_EQ(state.slots, c.slots);
    std::vector<float> result(c.expected.size());
    std::memcpy(result.data(), output.values["result"].data(), 4 * result.size());
    EXPECT_EQ(result, c.expected);
    call<void>(object, 2);
    call<void>(plugin, 5);
  }
}

}  // namespace
}  // namespace kvx::test
