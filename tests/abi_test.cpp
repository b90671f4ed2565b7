// SPDX-License-Identifier: Apache-2.0
// The exported symbol table is the contract: exactly the names the catalogue
// implies, the host functions imported, and no code of the library's own run
// at load.
#include <elf.h>

#include <algorithm>
#include <set>
#include <string>

#include "elf.h"
#include "support.h"

namespace kvx::test {
namespace {

std::string length_prefixed(std::string const& name) { return std::to_string(name.size()) + name; }

// Mangled names under ZR::SHADER (S0_ below is ZR::SHADER).
std::string shader_class(std::string const& name) { return "N2ZR6SHADER" + length_prefixed(name) + "E"; }
std::string member(std::string const& cls, std::string const& function, std::string const& parameters,
                   bool is_const = false) {
  return std::string("_ZN") + (is_const ? "K" : "") + "2ZR6SHADER" + length_prefixed(cls) + function + "E" +
         parameters;
}
std::string const system_and_block = "PNS0_13Shader_systemEPNS0_10Data_blockE";

void add_class_data(std::set<std::string>& s, std::string const& qualified) {
  for (char const* kind : {"_ZTV", "_ZTI", "_ZTS"}) s.insert(kind + qualified);
}

std::set<std::string> expected_exports() {
  std::set<std::string> s = {"initializer", "_ZN2zr4math9fast_pow2Ef", "_ZZN2zr4math9fast_pow2EfE5EXP_C"};
  // Base classes.
  add_class_data(s, "N2ZR4PLUG6PluginE");
  for (char const* m : {"_ZN2ZR4PLUG6Plugin25get_plugin_system_versionEv", "_ZNK2ZR4PLUG6Plugin11get_versionEv",
                        "_ZNK2ZR4PLUG6Plugin12get_compilerEv", "_ZN2ZR4PLUG6Plugin7releaseEv",
                        "_ZN2ZR4PLUG6Plugin19get_string_propertyEiPPKc", "_ZN2ZR4PLUG6PluginC1Ev",
                        "_ZN2ZR4PLUG6PluginC2Ev", "_ZN2ZR4PLUG6PluginD0Ev", "_ZN2ZR4PLUG6PluginD1Ev",
                        "_ZN2ZR4PLUG6PluginD2Ev"})
    s.insert(m);
  add_class_data(s, shader_class("Software_shader_plugin"));
  for (char const* m : {"C1Ev", "C2Ev", "D0Ev", "D1Ev", "D2Ev"})
    s.insert("_ZN2ZR6SHADER22Software_shader_plugin" + std::string(m));
  add_class_data(s, shader_class("Shader"));
  s.insert("_ZN2ZR6SHADER6ShaderC1Ev");
  s.insert("_ZN2ZR6SHADER6ShaderC2Ev");
  s.insert("_ZN2ZR6SHADER6Shader5eventENS0_10Event_typeEPNS0_13Event_contextE");

  for (auto const& r : catalogue::shaders) {
    std::string const name(r.name);
    for (char const* suffix : {"", "_version", "_init", "_exit"}) s.insert(name + suffix);

    std::string const plugin = name + "_shader_plugin";
    add_class_data(s, shader_class(plugin));
    s.insert(member(plugin, "8get_name", "v", true));
    s.insert(member(plugin, "8get_type", "v", true));
    s.insert(member(plugin, "11get_version", "v", true));
    s.insert(member(plugin, "12get_compiler", "v", true));
    s.insert(member(plugin, "12new_instance", system_and_block, true));
    s.insert(member(plugin, "17new_brdf_instance", system_and_block, true));
    s.insert(member(plugin, "19get_runtime_version", "v", true));
    s.insert(member(plugin, "20delete_brdf_instance", "PNS0_13Shader_systemEPNS0_4BrdfE", true));
    for (char const* m : {"7release", "10initialize", "8finalize", "D0", "D1", "D2"}) s.insert(member(plugin, m, "v"));

    std::string const object = "Kvx_" + name;
    add_class_data(s, shader_class(object));
    s.insert(member(object, "4main", "PNS0_5StateEPNS0_10Data_blockE"));
    s.insert(member(object, "7release", "v", true));
    std::string const gather = "N2ZR6SHADER6gatherINS0_" + length_prefixed(object) + "6ResultEEEvPNS0_5StateEPKT_";
    s.insert("_Z" + gather);
    s.insert("_ZZ" + gather + "E9nullblock");
  }
  return s;
}

class Abi : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef KVX_SANITIZED
    GTEST_SKIP() << "sanitizer runtimes add symbols and load-time code of their own";
#endif
#ifdef KVX_COVERAGE
    GTEST_SKIP() << "coverage instrumentation adds symbols and load-time code of its own";
#endif
  }
  // Read once, and only once a check runs: an instrumented library is large.
  static Elf_image const& image() {
    static Elf_image const image = Elf_image::read(library().path());
    return image;
  }
};

TEST_F(Abi, ExportsExactlyTheInterface) {
  std::set<std::string> exported;
  for (auto const& sym : image().dynamic_symbols)
    if (sym.defined && sym.visibility == STV_DEFAULT && sym.binding != STB_LOCAL) exported.insert(sym.name);
  std::set<std::string> const expected = expected_exports();

  std::vector<std::string> missing, unexpected;
  std::set_difference(expected.begin(), expected.end(), exported.begin(), exported.end(), std::back_inserter(missing));
  std::set_difference(exported.begin(), exported.end(), expected.begin(), expected.end(),
                      std::back_inserter(unexpected));
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first " << missing.front();
  EXPECT_TRUE(unexpected.empty()) << unexpected.size() << " unexpected, first " << unexpected.front();
  std::printf("[conformance] exported symbols: %zu expected, %zu found, %zu missing, %zu unexpected\n",
              expected.size(), exported.size(), missing.size(), unexpected.size());
}

TEST_F(Abi, FunctionsAreStrongOrWeakAsTheirLinkageSays) {
  for (auto const& sym : image().dynamic_symbols) {
    if (!sym.defined || sym.binding == STB_LOCAL) continue;
    bool const c_linkage = sym.name.rfind("_Z", 0) != 0;
    EXPECT_NE(sym.binding, unsigned{STB_GNU_UNIQUE}) << sym.name << ": unique symbols would pin the library in memory";
    if (c_linkage) {
      EXPECT_EQ(sym.binding, unsigned{STB_GLOBAL}) << sym.name;
      EXPECT_EQ(sym.type, unsigned{STT_FUNC}) << sym.name;
    } else {
      EXPECT_EQ(sym.binding, unsigned{STB_WEAK}) << sym.name << ": inline members, tables and statics are weak";
    }
  }
}

TEST_F(Abi, ImportsTheFourHostFunctionsAndDefinesNone) {
  std::set<std::string> imported;
  for (auto const& sym : image().dynamic_symbols)
    if (!sym.defined && sym.name.rfind("zr_", 0) == 0) imported.insert(sym.name);
  EXPECT_EQ(imported, (std::set<std::string>{"zr_get_korvex_interface", "zr_phen_eval", "zr_query",
                                              "zr_shaderstate_set"}));
}

TEST_F(Abi, RunsNoCodeOfItsOwnAtLoad) {
  ASSERT_FALSE(image().symbols.empty()) << "the check needs the symbol table";
  for (auto const& sym : image().symbols)
    EXPECT_EQ(sym.name.rfind("_GLOBAL__sub_I", 0), std::string::npos) << sym.name << " is a static initialiser";
  // The only entry the toolchain itself places there.
  for (std::uint64_t address : image().init_array) {
    auto it = std::find_if(image().symbols.begin(), image().symbols.end(),
                           [&](Elf_symbol const& s) { return s.value == address && s.type == STT_FUNC; });
    ASSERT_NE(it, image().symbols.end());
    EXPECT_EQ(it->name, "frame_dummy");
  }
}

}  // namespace
}  // namespace kvx::test
