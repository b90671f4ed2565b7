// SPDX-License-Identifier: Apache-2.0
// The folders' layers: each includes only the folders below it (and its
// own), never one above it or a neighbour on its level, so that the reference
// host reads without the tools and the library without the host.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The layers from the bottom up. A folder may include its own files and
// those of the layers below its own, never one above it or a neighbour on its
// level; a folder's sub-folders are layers of their own, and the files at the
// root of a folder that has sub-folders are the layer just below them.
// Image files stand apart, at the bottom: they include nothing of ours.
std::vector<std::set<std::string>> const layers = {
    {"catalogue", "image"},
    {"bridge/interface", "catalogue/c_layouts"},
    {"bridge/check", "math"},
    {"shaders"},
    {"shaders/math", "shaders/state", "shaders/batch"},
    {"plugin/objects", "bridge/batch"},
    {"bridge/entry"},
    {"plugin/emit"},
    {"host"},
    {"network", "image"},
    {"editor"},
    {"commands", "python"},
};

std::set<std::string> const library{"catalogue", "plugin", "bridge", "shaders", "math"};

// Calls at(where, line) for every line of the folder's C++ files, where is
// "path:number"; the number of files read.
template <class At>
std::size_t each_line(std::string const& folder, At at, bool sub_folders = true) {
  std::size_t files = 0;
  for (auto const& entry : std::filesystem::recursive_directory_iterator(KVX_SOURCE_DIR "/" + folder)) {
    if (!sub_folders && entry.path().parent_path() != std::filesystem::path(KVX_SOURCE_DIR "/" + folder)) continue;
    auto const extension = entry.path().extension();
    if (extension != ".h" && extension != ".cpp" && extension != ".def") continue;
    std::ifstream in(entry.path());
    int number = 0;
    for (std::string line; std::getline(in, line);) at(entry.path().string() + ":" + std::to_string(++number), line);
    ++files;
  }
  return files;
}

TEST(Layout, EachFolderIncludesOnlyTheLayersBelowIt) {
  // Every layered folder, with its level.
  std::map<std::string, std::size_t> level;
  for (std::size_t i = 0; i < layers.size(); ++i)
    for (auto const& folder : layers[i]) level[folder] = i;
  // The layered folder an #include <...> line names: its longest layered
  // prefix; nothing for a line that is no include of a folder of ours.
  auto included_folder = [&](std::string const& line) -> std::string {
    auto const at = line.find("#include <");
    if (at == std::string::npos || line.find_first_not_of(' ') != at) return {};
    std::string const path = line.substr(at + 10, line.find('>') - at - 10);
    std::string found;
    for (auto const& [folder, _] : level)
      if (path.starts_with(folder + "/") && folder.size() > found.size()) found = folder;
    return found;
  };
  std::size_t checked = 0;
  for (auto const& [folder, own] : level) {
    bool const has_sub_folders = std::ranges::any_of(
        level, [&](auto const& other) { return other.first.starts_with(folder + "/"); });
    checked += each_line(
        folder,
        [&](std::string const& where, std::string const& line) {
          std::string const included = included_folder(line);
          if (included.empty() || included == folder || level.at(included) < own) return;
          ADD_FAILURE() << where << " includes <" << included << "/...>, which is not below " << folder << "/";
        },
        !has_sub_folders);
  }
  EXPECT_GT(checked, 100u) << "the folders were not found";
  // Every folder of the library is in the order.
  for (auto const& folder : library)
    for (auto const& entry : std::filesystem::recursive_directory_iterator(KVX_SOURCE_DIR "/" + folder))
      if (entry.is_regular_file()) {
        auto const relative = entry.path().parent_path().lexically_relative(KVX_SOURCE_DIR).string();
        EXPECT_TRUE(level.contains(relative)) << relative << "/ is in no layer";
      }
}

// Each folder's code lives in its own namespace, kvx::<folder> (kvx::test for
// tests/), so that a name says where it is defined. The library's folders
// also define what the interface names: ZR::SHADER and ZR::PLUG classes, and
// zr::math::fast_pow2.
TEST(Layout, EachFolderHasItsOwnNamespace) {
  std::pair<std::string, std::string> const folders[] = {
      {"catalogue", "kvx::catalogue"}, {"math", "kvx::math"},       {"shaders", "kvx::shaders"},
      {"bridge", "kvx::bridge"},       {"plugin", "kvx::plugin"},   {"host", "kvx::host"},
      {"network", "kvx::network"},     {"image", "kvx::image"},     {"editor", "kvx::editor"},
      {"commands", "kvx::commands"},   {"python", "kvx::python"},   {"tests", "kvx::test"},
      {"fuzz", "kvx::fuzz"},           {"bench", "kvx::bench"}};
  std::set<std::string> const interface{"ZR::SHADER", "ZR::PLUG", "zr::math"};
  std::size_t checked = 0;
  for (auto const& [folder, own] : folders)
    checked += each_line(folder, [&](std::string const& where, std::string const& line) {
      // A namespace opened at file scope: "namespace NAME {", not an alias.
      if (!line.starts_with("namespace ") || !line.ends_with(" {")) return;
      std::string const name = line.substr(10, line.size() - 12);
      bool const ours = name == own || name.starts_with(own + "::");
      bool const named_by_interface = library.contains(folder) && interface.contains(name);
      // Namespaces nested inside the folder's own one, written unindented.
      bool const nested = !name.starts_with("kvx") && !interface.contains(name);
      if (!ours && !named_by_interface && !nested)
        ADD_FAILURE() << where << " opens namespace " << name << " in " << folder << "/, whose namespace is " << own;
    });
  EXPECT_GT(checked, 150u) << "the folders were not found";
}

// Every source file of ours starts with its licence, after a script's #! line.
TEST(Layout, EverySourceFileStartsWithItsLicence) {
  std::set<std::string> const extensions{".h", ".c", ".cpp", ".def", ".js", ".mjs", ".css", ".html", ".py", ".pyi",
                                         ".sh", ".cmake", ".in", ".list"};
  std::size_t checked = 0;
  for (auto const& entry : std::filesystem::recursive_directory_iterator(KVX_SOURCE_DIR)) {
    auto const relative = entry.path().lexically_relative(KVX_SOURCE_DIR).string();
    if (entry.is_directory() || relative.starts_with("build") || relative.find("node_modules") != std::string::npos ||
        relative.starts_with(".git") || relative.starts_with("fuzz/corpus"))
      continue;
    auto const name = entry.path().filename().string();
    if (!extensions.contains(entry.path().extension().string()) && name != "CMakeLists.txt") continue;
    std::ifstream in(entry.path());
    std::string line;
    std::getline(in, line);
    if (line.starts_with("#!")) std::getline(in, line);
    EXPECT_NE(line.find("SPDX-License-Identifier: Apache-2.0"), std::string::npos) << relative;
    ++checked;
  }
  EXPECT_GT(checked, 200u);
}

}  // namespace
