// SPDX-License-Identifier: Apache-2.0
// kvx-host, run as a user runs it: output, exit status, and a small render on
// both paths compared byte for byte.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <catalogue/catalogue.h>

#include "command.h"

namespace {

using kvx::test::Command_run;
using kvx::test::count;
using kvx::test::file_bytes;
using kvx::test::kvx_host;

TEST(Kvx_host, ListsEveryShaderInFactoryOrder) {
  Command_run const run = kvx_host("list");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("  0  Math_float_add"), 0u);
  EXPECT_NE(run.output.find("401  State_window_bottom"), std::string::npos);
  EXPECT_NE(run.output.find("402 shaders in "), std::string::npos);
  EXPECT_NE(run.output.find("location float2 @24"), std::string::npos) << "Math_float2_lerp's offsets";
}

// Read back with a JSON parser, every field against the catalogue's table.
TEST(Kvx_host, ListsAsJsonInItsDocumentedSchema) {
  Command_run const run = kvx_host("list --json 2>/dev/null");
  ASSERT_EQ(run.status, 0) << run.output;
  auto const document = nlohmann::json::parse(run.output);
  EXPECT_EQ(document["schema"], "kvx-host/list/2");
  auto const& shaders = document["shaders"];
  ASSERT_EQ(shaders.size(), kvx::catalogue::shader_count);
  for (auto const& row : kvx::catalogue::shaders) {
    auto const& shader = shaders[row.index];
    EXPECT_EQ(shader["index"], row.index);
    EXPECT_EQ(shader["name"], std::string(row.name));
    EXPECT_EQ(shader["operation"], std::string(row.operation));
    EXPECT_EQ(shader["type"],
              row.typed ? nlohmann::json(std::string(kvx::catalogue::name(row.type))) : nlohmann::json());
    EXPECT_EQ(shader["result"], std::string(kvx::catalogue::name(row.result)));
    ASSERT_EQ(shader["parameters"].size(), row.parameter_count) << row.name;
    for (unsigned k = 0; k < row.parameter_count; ++k) {
      auto const& p = row.parameter_list[k];
      auto const& listed = shader["parameters"][k];
      EXPECT_EQ(listed["name"], std::string(p.name));
      EXPECT_EQ(listed["type"], std::string(kvx::catalogue::name(p.type)));
      EXPECT_EQ(listed["offset"], p.offset);
      EXPECT_EQ(listed["slot_size"], kvx::catalogue::slot_size(p.type));
      EXPECT_EQ(listed["default"].is_null(), !p.has_default) << row.name << "." << p.name;
    }
  }
  auto const& defaults = shaders[311]["parameters"][1]["default"];  // Math_color_conditional's true_value
  EXPECT_EQ(defaults, nlohmann::json({1.0, 1.0, 1.0, 1.0}));
}

// Whether `word` stands in `line` as a word of its own: no letter, digit or _
// on either side.
bool names_word(std::string_view line, std::string_view word) {
  auto const part_of_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (auto at = line.find(word); at != std::string_view::npos; at = line.find(word, at + 1)) {
    bool const starts = at == 0 || !part_of_word(line[at - 1]);
    bool const ends = at + word.size() == line.size() || !part_of_word(line[at + word.size()]);
    if (starts && ends) return true;
  }
  return false;
}

// Every shader says what it computes, by its type's rules and in the terms of
// its own parameters, and can be found by the names other shading languages
// give its operation.
TEST(Kvx_host, DescribesEveryShaderAndItsUsualNames) {
  Command_run const run = kvx_host("list --json 2>/dev/null");
  ASSERT_EQ(run.status, 0) << run.output;
  auto const shaders = nlohmann::json::parse(run.output)["shaders"];
  std::set<std::string> lines;
  for (auto const& row : kvx::catalogue::shaders) {
    std::string const line = shaders[row.index]["description"];
    lines.insert(line);
    for (auto const& p : row.parameters())
      EXPECT_TRUE(names_word(line, p.name)) << row.name << " does not name " << p.name << ": " << line;
    bool const vector = row.typed && !kvx::catalogue::is_scalar(row.type);
    if (vector && (row.operation == "add" || row.operation == "lerp" || row.operation == "less_than")) {
      EXPECT_TRUE(line.starts_with(row.type == kvx::catalogue::Type::color ? "per component, alpha included: "
                                                                            : "per component: "))
          << row.name << ": " << line;
    }
    if (row.source != kvx::catalogue::Source::none) {
      EXPECT_NE(line.find("id " + std::to_string(row.id)), std::string::npos) << row.name << ": " << line;
    }
  }
  EXPECT_GT(lines.size(), 150u) << "one line per operation and kind, not one for all";
  EXPECT_NE(shaders[0]["description"], shaders[kvx::catalogue::find("Math_int_add")->index]["description"])
      << "the int kinds wrap";
  std::pair<char const*, char const*> const usual[] = {
      {"mix", "lerp"}, {"fract", "frac"}, {"select", "conditional"}, {"inversesqrt", "rsqrt"}, {"clamp01", "saturate"}};
  for (auto const& [other, operation] : usual)
    for (auto const& shader : shaders)
      if (shader["operation"] == operation) {
        EXPECT_NE(std::ranges::find(shader["also"], other), shader["also"].end()) << shader["name"] << " " << other;
      }
}

TEST(Kvx_host, DescribesOneShader) {
  Command_run const run = kvx_host("describe Math_bool4_conditional");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("  computes       true_value if condition is non-zero, else false_value"),
            std::string::npos);
  EXPECT_NE(run.output.find("ZR::SHADER::Math_bool4_conditional_shader_plugin"), std::string::npos);
  EXPECT_NE(run.output.find("ZR::SHADER::gather<ZR::SHADER::Kvx_Math_bool4_conditional::Result>"), std::string::npos);
  EXPECT_NE(run.output.find("    20    16  false_value  bool4"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("bool4: 16 bytes in plain mode, 16 in gathering mode"), std::string::npos);
}

struct Eval_case {
  char const* arguments;
  char const* expected;
};

TEST(Kvx_host, EvaluatesOnEveryPathWithTheLibrarysValues) {
  Eval_case const cases[] = {
      {"Math_float_add left=2.5 right=4", "shader object  6.5  [0x40d00000]"},
      {"Math_float_degrees input=1", "C entry        57.2957764  [0x42652ee0]"},
      {"Math_int_divide left=-7 right=2", "shader object  -3  [0xfffffffd]"},
      {"Math_int_divide left=-2147483648 right=-1", "C entry        -2147483648"},
      {"Math_float3_less_than left=1,5,nan right=2,5,0", "shader object  (1, 0, 0)  [0x01 0x00 0x00]"},
      {"Math_color_ddy input=0.1,0.2,0.3,0.4", "(0.100000001, 0.200000003, 0.300000012, 0.400000006)"},
      {"Math_refract i=1,0,0 n=0,1,0 eta=2", "C entry        (0, 0, 0)"},
      {"State_backside --state 32=7", "shader object  1  [0x01]"},
      {"State_camera_offset --camera 4=0.5,0.25", "C entry        (0.5, 0.25)"},
      {"Math_float_exp2 input=3 --path c", "C entry        8  [0x41000000]"},
      {"Math_color_add left=1,2,3,0.5 right=1,1,1,0.25 --path cpp", "shader object  (2, 3, 4, 0.75)"},
  };
  for (auto const& c : cases) {
    Command_run const run = kvx_host(std::string("eval ") + c.arguments);
    EXPECT_EQ(run.status, 0) << c.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.arguments << "\n" << run.output;
    bool const all = std::string(c.arguments).find("--path") == std::string::npos;
    EXPECT_EQ(run.output.find("all three paths agree") != std::string::npos, all) << c.arguments << "\n" << run.output;
  }
}

TEST(Kvx_host, EachPathKeepsItsOwnRuleForUnsetParameters) {
  Command_run const run = kvx_host("eval Math_color_add");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("C entry        (0, 0, 0, 2)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("shader object  (0, 0, 0, 0)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("the paths differ"), std::string::npos);
}

TEST(Kvx_host, GatheringModeAndTheShortCut) {
  Command_run const run = kvx_host("eval Math_float_add left=1 right=2 --gather --ray-type 5 --path c");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("C entry        0  [0x00000000]  (gathering mode, returned 0)"), std::string::npos)
      << run.output;
}

struct Bad_input {
  char const* arguments;
  char const* message;
};

TEST(Kvx_host, BadInputGetsOneLineNamingTheProblemAndStatusTwo) {
  Bad_input const cases[] = {
      {"eval Math_float_nope left=1", "kvx-host: unknown shader 'Math_float_nope'\n"},
      {"eval Math_flaot_sin input=1", "kvx-host: unknown shader 'Math_flaot_sin'; did you mean 'Math_float_sin'?\n"},
      {"describe Math_float3_Lerp", "kvx-host: unknown shader 'Math_float3_Lerp'; did you mean 'Math_float3_lerp'?\n"},
      {"describe Math_float_mix", "kvx-host: unknown shader 'Math_float_mix'; did you mean 'Math_float_lerp'?\n"},
      {"describe fract", "kvx-host: unknown shader 'fract'; did you mean 'Math_float_frac', 'Math_float2_frac' or "
                         "'Math_float3_frac'?\n"},
      {"eval Math_float_add lefty=1", "kvx-host: Math_float_add has no parameter 'lefty'; did you mean 'left'?\n"},
      {"eval Math_float_add left=one", "kvx-host: left: 'one' is not a float\n"},
      {"eval Math_float_add left=1e40", "kvx-host: left: '1e40' is out of range for a float (inf is written inf)\n"},
      {"eval Math_float_add left=-1e39", "kvx-host: left: '-1e39' is out of range for a float (inf is written inf)\n"},
      {"eval Math_float_add left=$(printf '9%.0s' $(seq 300))",
       "kvx-host: left: '99999999999999999999999999999999...' (300 characters) is out of range for a float (inf is "
       "written inf)\n"},
      {"eval Math_float3_add left=1,2", "kvx-host: left: float3 takes 3 components, not 2\n"},
      {"eval Math_int_add left=2.5", "kvx-host: left: '2.5' is not a 32-bit int\n"},
      {"eval Math_int_add left=4294967296", "kvx-host: left: '4294967296' is not a 32-bit int\n"},
      {"eval Math_bool_and left=maybe", "kvx-host: left: 'maybe' is not a bool (true, false or a byte)\n"},
      {"eval Math_float_add --path java", "kvx-host: eval: --path: 'java' is not c, cpp, both, batch or all\n"},
      {"eval Math_float_add --state 9", "kvx-host: --state: '9' is not id=value\n"},
      {"eval Math_float_add stray", "kvx-host: unexpected argument 'stray' (not name=value)\n"},
      {"describe", "kvx-host: describe: SHADER is required\n"},
      {"render --size 0x10", "kvx-host: render: --size: '0x10' is not WxH, each from 1 to 8192\n"},
      {"render -g 640", "kvx-host: render: -g: At least 2 required but received 1\n"},
      {"gallery -o x -g 2000 20", "kvx-host: gallery: -g: '2000' is not a whole number from 1 to 1024\n"},
      {"shade --threads 0", "kvx-host: shade: --threads: '0' is not a whole number from 1 to 256\n"},
      {"list --xml", "kvx-host: unknown option '--xml' (try --help)\n"},
      {"shade x.kvx --thread 2", "kvx-host: unknown option '--thread' (did you mean '--threads'?)\n"},
      {"render --pth both", "kvx-host: unknown option '--pth' (did you mean '--path'?)\n"},
      {"lsit", "kvx-host: unknown command 'lsit' (did you mean 'list'?)\n"},
      {"paint", "kvx-host: unknown command 'paint' (try --help)\n"},
      {"eval Math_float_add $(printf 'left=\\033[31m')", "kvx-host: left: '\\x1b[31m' is not a float\n"},
  };
  for (auto const& c : cases) {
    Command_run const run = kvx_host(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_EQ(run.output, c.message) << c.arguments;
  }
}

// --help and --version answer on stdout with status 0; each command's help
// names every option with its default.
TEST(Kvx_host, HelpAndVersionFollowTheConventions) {
  Command_run const help = kvx_host("--help 2>/dev/null");
  EXPECT_EQ(help.status, 0);
  for (char const* command : {"list", "describe", "eval", "render", "shade", "gallery", "completion"})
    EXPECT_NE(help.output.find(std::string("\n  ") + command + " "), std::string::npos) << command;
  struct Option {
    char const* command;
    char const* line;
  };
  for (auto const& o : {Option{"shade", "-g W H "}, {"shade", "(default: 256 256)"}, {"shade", "--path c|cpp|batch|both|all"},
                        {"render", "(default: 640 360)"}, {"render", "--path c|cpp|batch|both|all"}, {"render", "--size WxH"},
                        {"gallery", "(default: 128 128)"}, {"eval", "(default: all)"}, {"shade", "--threads N"}}) {
    Command_run const run = kvx_host(std::string(o.command) + " --help 2>/dev/null");
    EXPECT_EQ(run.status, 0) << o.command;
    EXPECT_NE(run.output.find(o.line), std::string::npos) << o.command << " --help lacks " << o.line << "\n"
                                                          << run.output;
  }
  Command_run const version = kvx_host("--version 2>/dev/null");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.find("kvx-host " KVX_VERSION "\nlibrary "), 0u) << version.output;
  EXPECT_NE(version.output.find("libkvx_base.so: 402 shaders, plug-in version 2 (compiler korvex), C interface "
                                "version 4"),
            std::string::npos)
      << version.output;
  EXPECT_EQ(kvx_host("").status, 2);
}

// The completion script, run by bash as it completes a line.
TEST(Kvx_host, CompletesCommandsOptionsAndShaderNames) {
  std::string const script = ::testing::TempDir() + "kvx-host.bash";
  ASSERT_EQ(kvx_host("completion > " + script).status, 0);
  auto complete = [&](std::string const& line) {
    std::string const command = "bash -c 'source " + script + "; COMP_WORDS=(" + line +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _kvx_host; echo \"${COMPREPLY[*]}\"'";
    return kvx::test::run_shell(command).output;
  };
  EXPECT_EQ(complete(KVX_HOST_PATH " sh"), "shade\n");
  EXPECT_EQ(complete(KVX_HOST_PATH " shade --th"), "--threads\n");
  EXPECT_EQ(complete(KVX_HOST_PATH " render --path b"), "batch both\n");
  EXPECT_EQ(complete(KVX_HOST_PATH " describe Math_float3_norm"), "Math_float3_normalize\n");
  EXPECT_EQ(complete(KVX_HOST_PATH " shade --shader State_backs"), "State_backside\n");
  EXPECT_EQ(complete(KVX_HOST_PATH " gallery -g 1"), "\n");
}

TEST(Kvx_host, RendersTheSameImageThroughEveryInterface) {
  std::string const dir = ::testing::TempDir();
  Command_run const all = kvx_host("render -g 48 27 --threads 2 --path all -o " + dir + "kvx_all.png");
  ASSERT_EQ(all.status, 0) << all.output;
  EXPECT_NE(all.output.find("all three paths agree at every pixel"), std::string::npos) << all.output;
  Command_run const batch = kvx_host("render --size 48x27 --threads 2 -o " + dir + "kvx_batch.png");
  Command_run const c = kvx_host("render --size 48x27 --threads 2 --path c -o " + dir + "kvx_c.png");
  Command_run const cpp = kvx_host("render --size 48x27 --threads 3 --path cpp -o " + dir + "kvx_cpp.png");
  for (auto const* run : {&batch, &c, &cpp}) ASSERT_EQ(run->status, 0) << run->output;
  EXPECT_NE(batch.output.find("through the batch functions"), std::string::npos) << "the batch path by default";
  EXPECT_NE(c.output.find("through the C entries"), std::string::npos);
  EXPECT_NE(cpp.output.find("through the shader objects"), std::string::npos);
  EXPECT_NE(c.output.find("calls/s"), std::string::npos);
  std::string const image = file_bytes(dir + "kvx_c.png");
  ASSERT_GT(image.size(), 100u);
  EXPECT_EQ(image.substr(1, 3), "PNG");
  for (char const* other : {"kvx_cpp.png", "kvx_batch.png", "kvx_all.png"})
    EXPECT_EQ(image, file_bytes(dir + other)) << other;
}

}  // namespace
