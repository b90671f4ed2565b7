// kvx-host, run as a user runs it: output, exit status, and a small render on
// both paths compared byte for byte.
#include <string>

#include <gtest/gtest.h>

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

TEST(Kvx_host, ListsAsJsonInItsDocumentedSchema) {
  Command_run const run = kvx_host("list --json");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("\"schema\": \"kvx-host/list/1\""), std::string::npos);
  EXPECT_EQ(count(run.output, "\"index\": "), 402u);
  EXPECT_NE(run.output.find("{\"index\": 311, \"name\": \"Math_color_conditional\", \"operation\": \"conditional\", "
                            "\"type\": \"color\", \"result\": \"color\", \"parameters\": [{\"name\": \"condition\", "
                            "\"type\": \"bool\", \"offset\": 0, \"slot_size\": 4, \"default\": null}, {\"name\": "
                            "\"true_value\", \"type\": \"color\", \"offset\": 4, \"slot_size\": 16, \"default\": [1, 1, "
                            "1, 1]}, {\"name\": \"false_value\", \"type\": \"color\", \"offset\": 20, \"slot_size\": "
                            "16, \"default\": [0, 0, 0, 1]}]}"),
            std::string::npos);
  EXPECT_NE(run.output.find("\"name\": \"Math_cross\", \"operation\": \"cross\", \"type\": null"), std::string::npos);
}

TEST(Kvx_host, DescribesOneShader) {
  Command_run const run = kvx_host("describe Math_bool4_conditional");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("ZR::SHADER::Math_bool4_conditional_shader_plugin"), std::string::npos);
  EXPECT_NE(run.output.find("ZR::SHADER::gather<ZR::SHADER::Kvx_Math_bool4_conditional::Result>"), std::string::npos);
  EXPECT_NE(run.output.find("    20    16  false_value  bool4"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("bool4: 16 bytes in plain mode, 16 in gathering mode"), std::string::npos);
}

struct Eval_case {
  char const* arguments;
  char const* expected;
};

TEST(Kvx_host, EvaluatesOnBothPathsWithTheLibrarysValues) {
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
    bool const both = std::string(c.arguments).find("--path") == std::string::npos;
    EXPECT_EQ(run.output.find("both paths agree") != std::string::npos, both) << c.arguments << "\n" << run.output;
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
      {"eval Math_float_add lefty=1", "kvx-host: Math_float_add has no parameter 'lefty'\n"},
      {"eval Math_float_add left=one", "kvx-host: left: 'one' is not a float\n"},
      {"eval Math_float3_add left=1,2", "kvx-host: left: float3 takes 3 components, not 2\n"},
      {"eval Math_int_add left=2.5", "kvx-host: left: '2.5' is not a 32-bit int\n"},
      {"eval Math_int_add left=4294967296", "kvx-host: left: '4294967296' is not a 32-bit int\n"},
      {"eval Math_bool_and left=maybe", "kvx-host: left: 'maybe' is not a bool (true, false or a byte)\n"},
      {"eval Math_float_add --path java", "kvx-host: --path takes c, cpp or both\n"},
      {"eval Math_float_add --state 9", "kvx-host: --state: '9' is not id=value\n"},
      {"eval Math_float_add stray", "kvx-host: unexpected argument 'stray'\n"},
      {"describe", "kvx-host: describe takes one shader name\n"},
      {"render --size 0x10", "kvx-host: --size takes WxH, each from 1 to 8192, not '0x10'\n"},
      {"list --xml", "kvx-host: list takes only --json, not '--xml'\n"},
      {"paint", "kvx-host: unknown command 'paint' (try --help)\n"},
  };
  for (auto const& c : cases) {
    Command_run const run = kvx_host(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_EQ(run.output, c.message) << c.arguments;
  }
}

TEST(Kvx_host, RendersTheSameImageThroughBothInterfaces) {
  std::string const dir = ::testing::TempDir();
  Command_run const c = kvx_host("render --size 48x27 --threads 2 -o " + dir + "kvx_c.png");
  Command_run const cpp = kvx_host("render --size 48x27 --threads 3 --path cpp -o " + dir + "kvx_cpp.png");
  ASSERT_EQ(c.status, 0) << c.output;
  ASSERT_EQ(cpp.status, 0) << cpp.output;
  EXPECT_NE(c.output.find("through the C entries"), std::string::npos);
  EXPECT_NE(cpp.output.find("through the shader objects"), std::string::npos);
  EXPECT_NE(c.output.find("calls/s"), std::string::npos);
  std::string const image = file_bytes(dir + "kvx_c.png");
  ASSERT_GT(image.size(), 100u);
  EXPECT_EQ(image.substr(1, 3), "PNG");
  EXPECT_EQ(image, file_bytes(dir + "kvx_cpp.png"));
}

}  // namespace
