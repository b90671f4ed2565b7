// SPDX-License-Identifier: Apache-2.0
// The folders' layers: each includes only the folders below it (and its
// own), never one above it or a neighbour on its level, so that the reference
// host reads without the tools and the library without the host.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Layer {
  std::string folder;
  std::set<std::string> may_include;  // besides itself
};

std::set<std::string> const library{"catalogue", "plugin", "bridge", "shaders", "math"};

std::set<std::string> with(std::set<std::string> folders, std::set<std::string> const& more) {
  folders.insert(more.begin(), more.end());
  return folders;
}

// Calls at(where, line) for every line of the folder's C++ files, where is
// "path:number"; the number of files read.
template <class At>
std::size_t each_line(std::string const& folder, At at) {
  std::size_t files = 0;
  for (auto const& entry : std::filesystem::recursive_directory_iterator(KVX_SOURCE_DIR "/" + folder)) {
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
  Layer const layers[] = {
      // The library's folders are one layer.
      {"catalogue", library}, {"math", library}, {"shaders", library}, {"bridge", library}, {"plugin", library},
      {"host", library},
      {"network", with(library, {"host"})},
      {"image", {}},
      {"editor", with(library, {"host", "network", "image"})},
      {"commands", with(library, {"host", "network", "image", "editor"})},
      {"python", with(library, {"host", "network"})},
  };
  // The folder of an #include <folder/...> line, or nothing.
  auto included_folder = [](std::string const& line) -> std::string {
    auto const at = line.find("#include <");
    if (at == std::string::npos || line.find_first_not_of(' ') != at) return {};
    auto const start = at + 10, slash = line.find('/', start);
    return slash == std::string::npos ? std::string{} : line.substr(start, slash - start);
  };
  std::size_t checked = 0;
  for (auto const& layer : layers)
    checked += each_line(layer.folder, [&](std::string const& where, std::string const& line) {
      std::string const folder = included_folder(line);
      if (folder.empty() || folder == layer.folder || layer.may_include.contains(folder)) return;
      if (!std::filesystem::is_directory(KVX_SOURCE_DIR "/" + folder)) return;  // a system header
      ADD_FAILURE() << where << " includes <" << folder << "/...>, which " << layer.folder << "/ may not";
    });
  EXPECT_GT(checked, 80u) << "the folders were not found";
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
