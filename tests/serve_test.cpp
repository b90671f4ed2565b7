// SPDX-License-Identifier: Apache-2.0
// kvx-host serve over HTTP, as the page and as a hostile page would speak to
// it: pictures with the bits `kvx-host shade` writes, its messages, the file
// on disk as the truth, and every kind of request it must refuse without
// stopping.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "command.h"
#include "images.h"
#include "serving.h"

namespace kvx::test {
namespace {

std::string const distance_network =
    "shader State_parametric_uv uv\nshader Math_float2_distance d\nconnect uv.result d.from\noutput d\n";

struct Folder {
  std::filesystem::path path = std::filesystem::temp_directory_path() / ("kvx-serve-" + std::to_string(::getpid()));
  Folder() { std::filesystem::create_directories(path); }
  ~Folder() { std::filesystem::remove_all(path); }
  std::size_t files() const { return std::distance(std::filesystem::directory_iterator(path), {}); }
};

TEST(Serve, ThePictureHoldsTheBitsShadeWritesAndTheErrorItsMessage) {
  Folder folder;
  auto const file = folder.path / "d.kvx";
  std::ofstream(file) << distance_network;
  Serving server({file.string(), "-g", "24", "16", "--threads", "2"});
  ASSERT_EQ(server.address(), "http://" + server.host() + "/");

  auto const answer = server.post("/api/shade", Json{{"text", distance_network}, {"path", "both"}});
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200) << answer->body;
  Served_picture const picture = picture_of(answer);
  EXPECT_EQ(picture.about["instance"], "d");
  EXPECT_EQ(picture.about["mismatches"], 0);
  EXPECT_TRUE(picture.differs.empty());
  ASSERT_EQ(picture.floats.size(), 24u * 16u);
  auto const exr_file = (folder.path / "d.exr").string();
  ASSERT_EQ(kvx_host("shade " + file.string() + " -g 24 16 -o " + exr_file).status, 0);
  Exr const exr = read_exr(exr_file);
  EXPECT_EQ(bits_text(picture.floats), bits_text(exr.planes[0]));

  std::string const wrong = distance_network + "param d.to 1\n";
  std::ofstream(file) << wrong;
  auto const refused = server.post("/api/shade", Json{{"text", wrong}});
  Json const error = Json::parse(refused->body);
  Command_run const shade = run_shell("cd " + folder.path.string() + " && " KVX_HOST_PATH " shade d.kvx");
  ASSERT_EQ(shade.status, 2);
  EXPECT_EQ("kvx-host: " + error["error"].get<std::string>() + "\n", shade.output);
  EXPECT_EQ(error["line"], 5);
}

// The page's EXR export is the file kvx-host shade writes for the same text
// and grid, on the sphere too, read back through OpenEXR.
TEST(Serve, TheExrExportIsTheFileShadeWrites) {
  Folder folder;
  auto const file = folder.path / "ball.kvx";
  std::filesystem::copy_file(std::filesystem::path(KVX_EXAMPLES_DIR) / "ball.kvx", file);
  std::ifstream in(file);
  std::string const text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Serving server({file.string(), "--threads", "2"});
  auto const answer =
      server.post("/api/exr", Json{{"text", text}, {"width", 40}, {"height", 30}, {"geometry", "sphere"}});
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200) << answer->body;
  EXPECT_EQ(answer->get_header_value("Content-Type"), "image/x-exr");
  auto const exported = (folder.path / "exported.exr").string(), shaded = (folder.path / "shaded.exr").string();
  std::ofstream(exported, std::ios::binary) << answer->body;
  ASSERT_EQ(kvx_host("shade " + file.string() + " -g 40 30 --geometry sphere -o " + shaded).status, 0);
  Exr const a = read_exr(exported), b = read_exr(shaded);
  EXPECT_EQ(a.channels, b.channels);
  ASSERT_EQ(a.planes.size(), 4u);
  for (std::size_t c = 0; c < a.planes.size(); ++c) EXPECT_EQ(bits_text(a.planes[c]), bits_text(b.planes[c])) << c;
  EXPECT_EQ(Json::parse(server.post("/api/exr", Json{{"text", "shader Math_float_add a\n"}})->body)["ok"], false);
}

// The same as a float, different as an int: the plug-in of faulty_plugin.cpp
// gives 2^24 through the C entry where the shader object gives 2^24 + 1, on
// the left half of the grid.
TEST(Serve, BothPathsAreComparedBitForBitAtEveryPoint) {
  std::string const network =
      "shader State_parametric_uv uv\n"
      "shader Math_float2_dot u\nconnect uv.result u.left\nparam u.right 1, 0\n"
      "shader Math_float_less_than left\nconnect u.result left.left\nparam left.right 0.5\n"
      "shader Math_int_conditional pick\nconnect left.result pick.condition\n"
      "param pick.true_value 16777217\nparam pick.false_value 16777218\n"
      "shader Math_int_add sum\nconnect pick.result sum.left\nparam sum.right 0\noutput sum\n";
  Serving server({"-g", "8", "2"}, {"KVX_LIBRARY=" KVX_FAULTY_PLUGIN});
  Served_picture const picture = picture_of(server.post("/api/shade", Json{{"text", network}, {"path", "both"}}));
  EXPECT_EQ(picture.about["mismatches"], 8);
  std::vector<std::uint8_t> const left_half = {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(picture.differs, left_half);

  Json const point = Json::parse(server.post("/api/point", Json{{"text", network}, {"path", "both"}, {"x", 0}, {"y", 1}})->body);
  EXPECT_EQ(point["c"]["value"], "16777216");
  EXPECT_EQ(point["cpp"]["value"], "16777217");
  EXPECT_EQ(point["same"], false);

  Folder folder;
  std::ofstream(folder.path / "int.kvx") << network;
  Command_run const shade = run_shell("KVX_LIBRARY=" KVX_FAULTY_PLUGIN " " KVX_HOST_PATH " shade " +
                                      (folder.path / "int.kvx").string() + " -g 8 2 --path both -o " +
                                      (folder.path / "int.exr").string());
  EXPECT_EQ(shade.status, 1);
  EXPECT_NE(shade.output.find("point (0, 0)"), std::string::npos) << shade.output;
}

TEST(Serve, SavesOnlyOverTheVersionTheTextWasReadFrom) {
  Folder folder;
  auto const file = folder.path / "saved.kvx";
  Serving server({file.string(), "-g", "8", "8"});
  auto save = [&](std::string const& text, Json const& base) {
    return server.post("/api/save", Json{{"text", text}, {"base", base}});
  };

  Json const absent = server.get_json("/api/network");
  EXPECT_EQ(absent["text"], "");
  EXPECT_EQ(absent["exists"], false);
  auto const made = save(distance_network, absent["version"]);
  ASSERT_EQ(made->status, 200) << made->body;
  EXPECT_EQ(file_bytes(file), distance_network) << "the first Save makes the file";
  Json const first = Json::parse(made->body)["version"];
  EXPECT_EQ(server.get_json("/api/file")["version"], first);

  auto const stale = save("# stale\n", absent["version"]);
  EXPECT_EQ(stale->status, 409);
  EXPECT_EQ(Json::parse(stale->body)["conflict"], true);
  EXPECT_EQ(Json::parse(stale->body)["version"], first);
  EXPECT_EQ(file_bytes(file), distance_network) << "nothing written over a newer version";

  // Changed outside, as another editor or a checkout would.
  ::chmod(file.c_str(), 0640);
  std::ofstream(file) << "# from outside\n";
  Json const outside = server.get_json("/api/network");
  EXPECT_EQ(outside["text"], "# from outside\n") << "a page loaded again starts from the file";
  EXPECT_NE(outside["version"], first);
  EXPECT_EQ(save("# mine\n", first)->status, 409);
  EXPECT_EQ(file_bytes(file), "# from outside\n");

  auto const over = save("# mine\n", outside["version"]);
  ASSERT_EQ(over->status, 200) << over->body;
  EXPECT_EQ(file_bytes(file), "# mine\n");
  struct stat status {};
  ::stat(file.c_str(), &status);
  EXPECT_EQ(status.st_mode & 0777, 0640u) << "the file keeps its permissions";
  EXPECT_EQ(folder.files(), 1u) << "no temporary file left";

  EXPECT_EQ(server.post("/api/save", Json{{"text", "x"}})->status, 400) << "a save names its version";
  Serving unnamed({"-g", "8", "8"});
  auto const refused = unnamed.post("/api/save", Json{{"text", distance_network}, {"base", nullptr}});
  EXPECT_EQ(refused->status, 409);
  EXPECT_NE(refused->body.find("download"), std::string::npos);
}

// The page edits lines ending in a line feed; the file keeps its own form.
TEST(Serve, SavesAFileInTheFormItWasRead) {
  Folder folder;
  auto const file = folder.path / "windows.kvx";
  std::string const bom = "\xEF\xBB\xBF";
  std::ofstream(file, std::ios::binary) << bom << "shader State_parametric_uv uv\r\noutput uv\r\n";
  Serving server({file.string(), "-g", "8", "8"});
  Json const read = server.get_json("/api/network");
  EXPECT_EQ(read["text"], "shader State_parametric_uv uv\noutput uv\n");
  EXPECT_EQ(read["read_only"], nullptr);
  auto const saved = server.post("/api/save", Json{{"text", "# mine\nshader State_parametric_uv uv\noutput uv\n"},
                                                   {"base", read["version"]}});
  ASSERT_EQ(saved->status, 200) << saved->body;
  EXPECT_EQ(file_bytes(file), bom + "# mine\r\nshader State_parametric_uv uv\r\noutput uv\r\n");
  EXPECT_EQ(Json::parse(saved->body)["version"], server.get_json("/api/file")["version"]);

  // Made read-only while open: looked at, never saved over.
  ::chmod(file.c_str(), 0444);
  Json const now = server.get_json("/api/network");
  EXPECT_EQ(now["read_only"], "windows.kvx is read-only");
  auto const refused = server.post("/api/save", Json{{"text", "# lost\n"}, {"base", now["version"]}});
  EXPECT_EQ(refused->status, 403);
  EXPECT_NE(refused->body.find("read-only"), std::string::npos) << refused->body;
  EXPECT_EQ(file_bytes(file), bom + "# mine\r\nshader State_parametric_uv uv\r\noutput uv\r\n");
  Serving looking({file.string(), "-g", "8", "8"});
  EXPECT_EQ(looking.get_json("/api/network")["text"], "# mine\nshader State_parametric_uv uv\noutput uv\n");
}

TEST(Serve, RefusesAtStartAFileItCouldNotSave) {
  Folder folder;
  std::ofstream(folder.path / "plain") << "not a folder";
  // Past what a save could send back.
  std::ofstream(folder.path / "large.kvx") << std::string(5 << 20, '#') << "\n";
  std::string const cases[] = {(folder.path / "missing" / "n.kvx").string(), (folder.path / "plain" / "n.kvx").string(),
                               folder.path.string() + "/", (folder.path / "large.kvx").string()};
  for (auto const& file : cases) {
    Command_run const run = run_shell("timeout 20 " KVX_HOST_PATH " serve " + file);
    EXPECT_EQ(run.status, 2) << file;
    EXPECT_EQ(count(run.output, "\n"), 1u) << run.output;
    EXPECT_NE(run.output.find("kvx-host: "), std::string::npos) << run.output;
  }
}

struct Refused {
  char const* what;
  int status;
  char const* message;
  std::function<httplib::Result(Serving const&)> send;
};

// The page's files go as the build compressed them, and a browser that has
// one already is told so.
TEST(Serve, ThePageIsCompressedOnceAndValidated) {
  Serving server({"-g", "8", "8"});
  httplib::Client client = server.client();
  client.set_decompress(false);
  auto const plain = client.Get("/editor.js", {{"Accept-Encoding", "identity"}});
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->status, 200);
  EXPECT_FALSE(plain->has_header("Content-Encoding"));
  std::string const etag = plain->get_header_value("ETag");
  EXPECT_EQ(etag.front(), '"');
  auto const compressed = client.Get("/editor.js", {{"Accept-Encoding", "gzip, deflate, br"}});
  ASSERT_TRUE(compressed);
  EXPECT_EQ(compressed->get_header_value("Content-Encoding"), "gzip");
  EXPECT_LT(compressed->body.size(), plain->body.size() / 2);
  EXPECT_EQ(compressed->body.substr(0, 2), "\x1f\x8b");
  auto const again = client.Get("/editor.js", {{"If-None-Match", etag}});
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 304);
  EXPECT_TRUE(again->body.empty());
}

TEST(Serve, RefusesWhatItMustWithAMessageAndGoesOn) {
  Serving server({"-g", "8", "8"});
  std::string const good = Json{{"text", distance_network}}.dump();
  Json const big_color = {{"text", "shader Math_color_add c\noutput c\n"}, {"width", 8192}, {"height", 8192}};
  Refused const cases[] = {
      {"a foreign Host", 403, "is not this server's",
       [&](Serving const& s) { return s.post_body("/api/shade", good, {{"Host", "example.com"}}); }},
      {"a foreign Origin", 403, "are refused",
       [&](Serving const& s) { return s.post_body("/api/shade", good, {{"Origin", "http://example.com"}}); }},
      {"a foreign Origin on a GET", 403, "are refused",
       [&](Serving const& s) { return s.client().Get("/api/network", {{"Origin", "http://127.0.0.1:1"}}); }},
      {"a body over the limit", 413, "over the limit of 8 MiB",
       [&](Serving const& s) { return s.post_body("/api/shade", std::string(9u << 20, ' ')); }},
      {"an unknown route", 404, "no such route: GET /etc/passwd",
       [&](Serving const& s) { return s.client().Get("/etc/passwd"); }},
      {"a route like the page's", 404, "no such route: GET /editorXjs",
       [&](Serving const& s) { return s.client().Get("/editorXjs"); }},
      {"a GET of a POST route", 404, "no such route",
       [&](Serving const& s) { return s.client().Get("/api/shade"); }},
      {"JSON nested past what a page sends", 400, "nested more than 32 deep",
       [&](Serving const& s) { return s.post_body("/api/shade", std::string(1 << 20, '[') + std::string(1 << 20, ']')); }},
      {"a body that is not JSON", 400, "not valid JSON",
       [&](Serving const& s) { return s.post_body("/api/shade", "{\"text\":"); }},
      {"JSON that is not an object", 400, "must be a JSON object",
       [&](Serving const& s) { return s.post_body("/api/shade", "[1, 2]"); }},
      {"a body of another type", 415, "must be JSON",
       [&](Serving const& s) { return s.client().Post("/api/shade", good, "text/plain"); }},
      {"text that is not a string", 400, "'text' must be a string",
       [&](Serving const& s) { return s.post_body("/api/shade", R"({"text": 7})"); }},
      {"a grid over the limit", 400, "'width' must be a whole number from 1 to 8192",
       [&](Serving const& s) { return s.post("/api/shade", Json{{"text", "x"}, {"width", 8193}}); }},
      {"a grid of no points", 400, "'height' must be a whole number from 1 to 8192",
       [&](Serving const& s) { return s.post("/api/shade", Json{{"text", "x"}, {"height", 0}}); }},
      {"a picture over the limit", 400, "takes 1024 MiB, over the limit of 256 MiB",
       [&](Serving const& s) { return s.post("/api/shade", big_color); }},
      {"an unknown path", 400, "'path' takes c, cpp, both, batch or all",
       [&](Serving const& s) { return s.post("/api/shade", Json{{"text", "x"}, {"path", "gpu"}}); }},
      {"a page name that is not a string", 400, "'page' must be a string",
       [&](Serving const& s) { return s.post("/api/shade", Json{{"text", "x"}, {"page", 1}}); }},
      {"a point off the grid", 400, "'x' must be a whole number from 0 to 7",
       [&](Serving const& s) {
         return s.post("/api/point", Json{{"text", distance_network}, {"x", 8}, {"y", 0}});
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const answer = c.send(server);
    ASSERT_TRUE(answer) << "no answer";
    EXPECT_EQ(answer->status, c.status);
    EXPECT_NE(answer->body.find(c.message), std::string::npos) << answer->body;
    auto const still = server.client().Get("/api/network");
    ASSERT_TRUE(still) << "the server stopped";
    EXPECT_EQ(still->status, 200);
  }
}

}  // namespace
}  // namespace kvx::test
