// SPDX-License-Identifier: Apache-2.0
// The factory and the identity of every plug-in.
#include <algorithm>
#include <memory>
#include <string>

#include "support.h"

namespace kvx::test {
namespace {

// The type-information name of ZR::SHADER::<name>.
std::string mangled(std::string const& name) { return "N2ZR6SHADER" + std::to_string(name.size()) + name + "E"; }

TEST(Factory, HandsOutOnePluginPerCatalogueRowInOrder) {
  for (auto const& r : catalogue::shaders) {
    auto* plugin = library().plugin(r.index);
    ASSERT_NE(plugin, nullptr) << r.index;
    EXPECT_EQ(std::string(plugin->get_name()), "softshader_" + std::string(r.name));
    plugin->release();
  }
}

TEST(Factory, IsNullPastTheLastIndex) {
  EXPECT_EQ(library().plugin(402), nullptr);
  EXPECT_EQ(library().plugin(0x80000000u), nullptr);
  EXPECT_EQ(library().plugin(static_cast<unsigned>(-1)), nullptr);
}

// The factory order is the interface: these indices are what hosts built
// against version 1.0 ask for, whatever the table says today.
TEST(Factory, LandmarksKeepTheirIndices) {
  std::pair<unsigned, char const*> const landmarks[] = {
      {0, "Math_float_add"},        {104, "Math_color_sign"},           {105, "Math_float_acos"},
      {235, "Math_float_all"},      {336, "Math_float2_faceforward"},   {364, "Math_cross"},
      {367, "State_origin"},        {401, "State_window_bottom"}};
  for (auto const& [index, name] : landmarks) {
    auto* plugin = library().plugin(index);
    ASSERT_NE(plugin, nullptr) << index;
    EXPECT_EQ(std::string(plugin->get_name()), std::string("softshader_") + name) << index;
    plugin->release();
    EXPECT_NE(library().function<void()>(name), nullptr) << name;
  }
  // The catalogue's search by name, which every tool uses.
  EXPECT_EQ(catalogue::find("State_window_bottom"), &catalogue::shaders[401]);
  EXPECT_EQ(catalogue::find("Math_float_add"), &catalogue::shaders[0]);
  EXPECT_EQ(catalogue::find("Math_float_nothing"), nullptr);
  EXPECT_EQ(catalogue::find(""), nullptr);
}

// What `kvx-host describe` and `list` tell a host of each shader: a typed
// shader's name spells its type, and its parameter block ends where its last
// slot does, inside the block the reference host lays out.
TEST(Factory, EachRowsTypeNameAndBlockSizeAreItsOwn) {
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    if (r.typed) {
      EXPECT_TRUE(r.name.starts_with("Math_" + std::string(name(r.type)) + "_"));
    }
    unsigned end = 0;
    for (auto const& p : r.parameters()) end = std::max(end, p.offset + catalogue::slot_size(p.type));
    EXPECT_EQ(r.block_size(), end);
    EXPECT_LE(r.block_size(), host::Parameter_block{}.bytes().size() - 2 * host::Parameter_block::reach);
  }
}

// The root class's own members, which every shader plug-in overrides, are
// still exported for a host that calls them by name: run the library's copies.
TEST(Plugin_root, ItsOwnMembersAnswerTheRootsValues) {
  using Member = void*;
  auto* const version = reinterpret_cast<int (*)(ZR::PLUG::Plugin const*)>(
      library().symbol("_ZNK2ZR4PLUG6Plugin11get_versionEv"));
  auto* const compiler = reinterpret_cast<char const* (*)(ZR::PLUG::Plugin const*)>(
      library().symbol("_ZNK2ZR4PLUG6Plugin12get_compilerEv"));
  auto* const release = reinterpret_cast<void (*)(ZR::PLUG::Plugin*)>(
      library().symbol("_ZN2ZR4PLUG6Plugin7releaseEv"));
  ASSERT_NE(Member(version), nullptr);
  ASSERT_NE(Member(compiler), nullptr);
  ASSERT_NE(Member(release), nullptr);
  auto* plugin = library().plugin(0);
  EXPECT_EQ(version(plugin), 1);
  EXPECT_STREQ(compiler(plugin), "unknown");
  release(plugin);  // deletes through the virtual destructor
}

TEST(Factory, EveryCallMakesAnIndependentPlugin) {
  auto* first = library().plugin(5);
  auto* second = library().plugin(5);
  ASSERT_NE(first, second);
  EXPECT_EQ(typeid(*first), typeid(*second));
  first->release();
  EXPECT_STREQ(second->get_name(), "softshader_Math_float_clamp");
  second->release();
}

TEST(Plugin, EveryPluginReportsTheSameIdentity) {
  char const* runtime = nullptr;
  for (auto const& r : catalogue::shaders) {
    SCOPED_TRACE(std::string(r.name));
    auto* plugin = static_cast<ZR::SHADER::Software_shader_plugin*>(library().plugin(r.index));
    EXPECT_EQ(plugin->get_plugin_system_version(), 2);
    EXPECT_STREQ(plugin->get_type(), "softshader");
    EXPECT_EQ(plugin->get_version(), 2);
    EXPECT_STREQ(plugin->get_compiler(), "korvex");
    EXPECT_STREQ(plugin->get_runtime_version(), "2.0.0");
    if (!runtime) runtime = plugin->get_runtime_version();
    EXPECT_EQ(plugin->get_runtime_version(), runtime) << "one runtime string for all plug-ins";

    kvx::test::Block block;
    EXPECT_EQ(plugin->new_brdf_instance(nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin->new_brdf_instance(reinterpret_cast<ZR::SHADER::Shader_system*>(&block), &block), nullptr);
    plugin->delete_brdf_instance(nullptr, nullptr);

    char const* untouched = "untouched";
    for (int id : {0, 1, -1, 1000}) {
      EXPECT_EQ(plugin->get_string_property(id, &untouched), 0);
      EXPECT_STREQ(untouched, "untouched");
    }
    plugin->initialize();
    plugin->finalize();
    plugin->release();
  }
}

TEST(Plugin, MakesShaderObjectsWithoutSystemOrBlock) {
  for (auto const& r : catalogue::shaders) {
    auto* plugin = static_cast<ZR::SHADER::Software_shader_plugin*>(library().plugin(r.index));
    ZR::SHADER::Shader* object = plugin->new_instance(nullptr, nullptr);
    ASSERT_NE(object, nullptr) << r.name;
    EXPECT_EQ(typeid(*plugin).name(), mangled(std::string(r.name) + "_shader_plugin"));
    EXPECT_EQ(typeid(*object).name(), mangled("Kvx_" + std::string(r.name)));
    plugin->release();
    object->release();  // independent of the plug-in that made it
  }
}

}  // namespace
}  // namespace kvx::test
