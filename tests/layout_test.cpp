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

TEST(Layout, EachFolderIncludesOnlyTheLayersBelowIt) {
  Layer const layers[] = {
      // The library's folders are one layer.
      {"catalogue", library}, {"math", library}, {"shaders", library}, {"bridge", library}, {"plugin", library},
      {"host", library},
      {"network", with(library, {"host"})},
      {"image", {}},
      {"editor", with(library, {"host", "network"})},
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
  for (auto const& layer : layers) {
    for (auto const& entry : std::filesystem::recursive_directory_iterator(KVX_SOURCE_DIR "/" + layer.folder)) {
      auto const extension = entry.path().extension();
      if (extension != ".h" && extension != ".cpp" && extension != ".def") continue;
      std::ifstream in(entry.path());
      int number = 0;
      for (std::string line; std::getline(in, line);) {
        ++number;
        std::string const folder = included_folder(line);
        if (folder.empty() || folder == layer.folder || layer.may_include.contains(folder)) continue;
        if (!std::filesystem::is_directory(KVX_SOURCE_DIR "/" + folder)) continue;  // a system header
        ADD_FAILURE() << entry.path().string() << ":" << number << " includes <" << folder << "/...>, which "
                      << layer.folder << "/ may not";
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 80u) << "the folders were not found";
}

// Every source file of ours starts with its licence, after a script's #! line.
TEST(Layout, EverySourceFileStartsWithItsLicence) {
  std::set<std::string> const extensions{".h", ".cpp", ".def", ".js", ".mjs", ".css", ".html", ".py", ".pyi",
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
