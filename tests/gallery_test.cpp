// SPDX-License-Identifier: Apache-2.0
// kvx-host gallery, run as a user runs it: a page with all 402 shaders whose
// interfaces are `list --json`'s, pictures whose values are `eval`'s, and a
// real browser that loads it without errors and decodes every picture.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "command.h"
#include "images.h"

namespace {

using kvx::test::bits_text;
using kvx::test::Command_run;
using kvx::test::count;
using kvx::test::file_bytes;
using kvx::test::grid_u;
using kvx::test::grid_v;
using kvx::test::kvx_host;

std::size_t files_in(std::filesystem::path const& dir) {
  return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{});
}

// A gallery on a small grid, made once for the tests that read it.
std::string const& small_gallery() {
  static std::string const dir = [] {
    std::string const dir = ::testing::TempDir() + "kvx_gallery_small";
    std::filesystem::remove_all(dir);
    Command_run const run = kvx_host("gallery -o " + dir + " -g 24 16");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("402 shaders, 402 agree on both paths"), std::string::npos) << run.output;
    return dir;
  }();
  return dir;
}

TEST(Gallery, HasEveryShaderWithTheInterfaceListGives) {
  std::string const dir = small_gallery();
  std::string const page = file_bytes(dir + "/index.html");
  EXPECT_EQ(count(page, "<article class=\"shader\""), 402u);
  EXPECT_EQ(count(page, "both paths agree on every sample"), 402u);
  EXPECT_EQ(files_in(dir + "/images"), 402u);
  EXPECT_EQ(files_in(dir + "/data"), 402u);
  EXPECT_EQ(page.find("http"), std::string::npos) << "the page must work offline";

  auto const listed = nlohmann::ordered_json::parse(kvx_host("list --json 2>/dev/null").output)["shaders"];
  ASSERT_EQ(listed.size(), 402u);
  for (auto const& shader : listed) {
    std::string const json = shader.dump();
    EXPECT_NE(page.find("<script type=\"application/json\">" + json + "</script>"), std::string::npos) << json;
  }
  EXPECT_NE(page.find("computed by libkvx_base.so (402 shaders, plug-in version 2"), std::string::npos);
  EXPECT_EQ(page.find(KVX_BUILD_DIR), std::string::npos) << "the page names no path of the build machine";
}

TEST(Gallery, PicturesHoldTheValuesEvalGives) {
  std::string const dir = small_gallery();
  // A plot: every tenth sample of the table behind it.
  std::istringstream table(file_bytes(dir + "/data/Math_float_sin.tsv"));
  std::string line;
  std::getline(table, line);
  for (int n = 0; std::getline(table, line); ++n) {
    if (n % 40) continue;
    char input[32], bits[16];
    ASSERT_EQ(std::sscanf(line.c_str(), "%31s %*s %15s", input, bits), 2) << line;
    Command_run const eval = kvx_host(std::string("eval Math_float_sin --path c input=") + input);
    EXPECT_NE(eval.output.find(std::string("[") + bits + "]"), std::string::npos) << line << "\n" << eval.output;
  }
  // A grid: y binds (u, v) and x binds (v, u), each from -1 to 1.
  auto const image = kvx::test::read_exr(dir + "/data/Math_float2_atan2.exr");
  ASSERT_EQ(image.channels, (std::vector<std::string>{"G", "R"}));
  for (auto const& [x, y] : {std::pair{0u, 0u}, {23u, 15u}, {9u, 4u}}) {
    float const u = -1.0f + 2.0f * grid_u(24, x), v = -1.0f + 2.0f * grid_v(16, y);
    char arguments[128];
    std::snprintf(arguments, sizeof arguments, "eval Math_float2_atan2 --path c y=%.9g,%.9g x=%.9g,%.9g", u, v, v, u);
    Command_run const eval = kvx_host(arguments);
    EXPECT_NE(eval.output.find(bits_text({image.at(1, x, y), image.at(0, x, y)})), std::string::npos)
        << arguments << "\n" << eval.output;
  }
}

std::string browser() {
  for (char const* name : {"chromium-headless-shell", "chromium"}) {
    std::string const probe = std::string("command -v ") + name + " > /dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return name;
  }
  return {};
}

// The full gallery, as the plain build's tests leave it in the build tree;
// instrumented builds, whose shading is slow, load the small one.
TEST(Gallery, LoadsInARealBrowserWithEveryPictureDecoded) {
  std::string const chromium = browser();
  if (chromium.empty()) GTEST_SKIP() << "no headless Chromium: apt-get install chromium-headless-shell";
#if defined(KVX_SANITIZED) || defined(KVX_COVERAGE)
  std::string const dir = small_gallery();
#else
  std::string const dir = KVX_BUILD_DIR "/gallery";
  Command_run const made = kvx_host("gallery -o " + dir);
  ASSERT_EQ(made.status, 0) << made.output;
#endif

  std::string const flags = " --no-sandbox --disable-gpu --hide-scrollbars --virtual-time-budget=10000 ";
  std::string const page = "file://" + dir + "/index.html";
  std::string const log = dir + "/browser.log";
  std::string const dom = dir + "/dom.html";
  std::string const command = chromium + flags + "--enable-logging=stderr --v=0 --dump-dom " + page + " > " + dom +
                              " 2> " + log;
  ASSERT_EQ(std::system(command.c_str()), 0) << file_bytes(log);
  std::string const loaded = file_bytes(dom);
  EXPECT_EQ(count(loaded, "<article class=\"shader\""), 402u);
  EXPECT_NE(loaded.find("data-decoded=\"402\""), std::string::npos) << "pictures that did not decode";
  std::string const messages = file_bytes(log);
  EXPECT_EQ(messages.find(":CONSOLE"), std::string::npos) << "the page wrote to the console:\n" << messages;

  std::string const filtered = dir + "/filtered.html";
  std::string const search = chromium + flags + "--dump-dom '" + page + "?filter=float3_SIN' > " + filtered +
                             " 2> /dev/null";
  ASSERT_EQ(std::system(search.c_str()), 0);
  std::string const shown = file_bytes(filtered);
  EXPECT_EQ(count(shown, "\" hidden=\"\">") - count(shown, "class=\"family\" hidden=\"\""), 401u)
      << "the search box shows Math_float3_sin alone";

  std::string const shot = dir + "/screenshot.png";
  std::string const screenshot =
      chromium + flags + "--window-size=1280,900 --screenshot=" + shot + " " + page + " > /dev/null 2>&1";
  ASSERT_EQ(std::system(screenshot.c_str()), 0);
  EXPECT_EQ(file_bytes(shot).substr(1, 3), "PNG");
}

}  // namespace
