// SPDX-License-Identifier: Apache-2.0
// kvx-host shade, run as a user runs it: the example networks on both paths
// and thread counts to the same bytes, the EXR read back with OpenEXR against
// `kvx-host eval`, and every kind of bad network refused with its location.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command.h"
#include "images.h"

namespace {

using kvx::test::Command_run;
using kvx::test::bits_text;
using kvx::test::Exr;
using kvx::test::grid_u;
using kvx::test::grid_v;
using kvx::test::read_exr;
using kvx::test::file_bytes;
using kvx::test::kvx_host;

std::string const examples = KVX_EXAMPLES_DIR;

std::string temp(std::string const& name) { return ::testing::TempDir() + "kvx_shade_" + name; }

std::string write_temp(std::string const& name, std::string const& text) {
  std::string const path = temp(name);
  std::ofstream(path) << text;
  return path;
}

TEST(Shade, EveryExampleGivesTheSameBytesOnEveryPathAndThreadCount) {
  for (char const* example : {"checker", "lit_sphere", "texture", "bands", "refract", "rings", "ball"}) {
    std::string const network = examples + "/" + example + ".kvx";
    for (char const* geometry : {"plane", "sphere"}) {
      // A grid wider than a block of points, its last block short.
      std::string const grid = " -g 1100 3 --geometry " + std::string(geometry) + " ";
      Command_run const all = kvx_host("shade " + network + grid + "--path all --threads 2 -o " + temp("all.exr"));
      ASSERT_EQ(all.status, 0) << example << "\n" << all.output;
      EXPECT_NE(all.output.find("all three paths agree at every point"), std::string::npos) << all.output;
    }
    std::string const grid = " -g 61 37 ";
    Command_run const both = kvx_host("shade " + network + grid + "--path both --threads 2 -o " + temp("both.png"));
    ASSERT_EQ(both.status, 0) << example << "\n" << both.output;
    EXPECT_NE(both.output.find("both paths agree at every point"), std::string::npos) << both.output;
    EXPECT_NE(both.output.find("calls/s"), std::string::npos);
    EXPECT_EQ(file_bytes(temp("both.png")).substr(1, 3), "PNG") << example;

    std::string reference;
    for (auto const& [path, threads] :
         {std::pair{"c", "1"}, {"c", "2"}, {"cpp", "1"}, {"cpp", "2"}, {"batch", "1"}, {"batch", "2"}}) {
      std::string const out = temp(std::string(path) + threads + ".exr");
      Command_run const run =
          kvx_host("shade " + network + grid + "--path " + path + " --threads " + threads + " -o " + out);
      ASSERT_EQ(run.status, 0) << example << "\n" << run.output;
      std::string const bytes = file_bytes(out);
      ASSERT_FALSE(bytes.empty()) << example;
      if (reference.empty()) reference = bytes;
      EXPECT_EQ(bytes, reference) << example << " --path " << path << " --threads " << threads;
    }
    Exr const image = read_exr(temp("c1.exr"));
    EXPECT_EQ(image.width, 61);
    EXPECT_EQ(image.height, 37);
  }
}

// Where the batches differ from the C entries and the shader objects, --path
// all names the first point and the instance that differs, and exits 1.
TEST(Shade, ComparingAllPathsNamesThePointAndTheInstanceThatDiffer) {
  // The faulty batch differs only in an instance the output does not read:
  // every instance is compared, not the output alone.
  std::string const uses_sum = write_temp("faulty_sum.kvx",
                                          "shader Math_int_add sum\nparam sum.left 16777216\nparam sum.right 1\n"
                                          "shader Math_int_multiply picture\nconnect sum.result picture.left\n"
                                          "param picture.right 0\noutput picture\n");
  Command_run const faulty = kvx::test::run_shell("KVX_BATCH_LIBRARY=" KVX_FAULTY_BATCH " " KVX_HOST_PATH " shade " +
                                                  uses_sum + " -g 4 2 --path all 2>&1");
  EXPECT_EQ(faulty.status, 1) << faulty.output;
  EXPECT_NE(faulty.output.find("the paths differ at point (0, 0) in instance 'sum': C entry 16777217 [0x01000001], "
                               "batch 16777216 [0x01000000]"),
            std::string::npos)
      << faulty.output;
}

// On the sphere every covered point's normal is a unit vector facing the
// camera; light from a direction varies over it; the paths agree; nothing is
// shaded off it, and a PNG is transparent there.
TEST(Shade, OnTheSphereTheNormalsFaceTheCameraAndTheLightVaries) {
  std::string const sphere = " -g 48 40 --geometry sphere --path both ";
  Command_run const normals = kvx_host("shade --shader State_normal n --output n" + sphere + "-o " +
                                       temp("normal.exr") + " -o " + temp("normal.png"));
  ASSERT_EQ(normals.status, 0) << normals.output;
  EXPECT_NE(normals.output.find("both paths agree at every point"), std::string::npos) << normals.output;
  Exr const n = read_exr(temp("normal.exr"));
  ASSERT_EQ(n.channels, (std::vector<std::string>{"B", "G", "R"}));  // by name
  unsigned covered = 0;
  for (int y = 0; y < n.height; ++y)
    for (int x = 0; x < n.width; ++x) {
      // As large as the shorter side, in the middle: docs/kvx-host.md.
      float const sx = (2.0f * float(x) + 1.0f - 48.0f) / 40.0f, sy = (40.0f - 2.0f * float(y) - 1.0f) / 40.0f;
      float const nx = n.at(2, x, y), ny = n.at(1, x, y), nz = n.at(0, x, y);
      if (sx * sx + sy * sy > 1) {
        EXPECT_EQ(nx * nx + ny * ny + nz * nz, 0.0f) << "off the sphere at " << x << ", " << y;
        continue;
      }
      ++covered;
      EXPECT_NEAR(std::sqrt(nx * nx + ny * ny + nz * nz), 1.0f, 1e-6f) << x << ", " << y;
      EXPECT_GE(nz, 0.0f) << "faces the camera at " << x << ", " << y;
      EXPECT_EQ(nx, sx) << "the point under pixel " << x << ", " << y;
    }
  EXPECT_GT(covered, 40u * 40u * 3 / 4);  // pi / 4 of the square around it
  EXPECT_LT(covered, 40u * 40u * 4 / 5);
  std::string const png = file_bytes(temp("normal.png"));
  EXPECT_EQ(static_cast<unsigned char>(png.at(25)), 6) << "an RGBA PNG: transparent off the sphere";

  Command_run const lit = kvx_host("shade --shader State_normal n --shader Math_float3_dot lit --connect n.result "
                                   "lit.left --param lit.right 0.48,0.6,0.64 --output lit" + sphere + "-o " +
                                   temp("lit.exr"));
  ASSERT_EQ(lit.status, 0) << lit.output;
  EXPECT_NE(lit.output.find("both paths agree at every point"), std::string::npos) << lit.output;
  Exr const light = read_exr(temp("lit.exr"));
  auto const [low, high] = std::ranges::minmax(light.planes[0]);
  EXPECT_LT(low, 0.0f) << "the far side is turned away";
  EXPECT_GT(high, 0.95f) << "the near side faces the light";
}

TEST(Shade, TheExrHoldsTheBitsEvalGivesForTheSameInputs) {
  struct Case {
    char const* statements;
    char const* shader;  // what eval runs, on the point's u, v (and 0)
    bool three;          // a float3 input (u, v, 0) rather than a float2
    std::vector<std::string> channels;
  };
  Case const cases[] = {
      {"--shader State_parametric_uv p --shader Math_float2_sin s --connect p.result s.input --output s",
       "Math_float2_sin", false, {"G", "R"}},
      {"--shader State_position p --shader Math_float3_normalize s --connect p.result s.input --output s",
       "Math_float3_normalize", true, {"B", "G", "R"}},
  };
  unsigned const width = 23, height = 17;
  for (auto const& c : cases) {
    std::string const out = temp("eval.exr");
    Command_run const run = kvx_host("shade " + std::string(c.statements) + " -g 23 17 -o " + out);
    ASSERT_EQ(run.status, 0) << run.output;
    Exr const image = read_exr(out);
    ASSERT_EQ(image.channels, c.channels);  // OpenEXR lists them by name
    for (auto const& [x, y] : {std::pair{0u, 0u}, {22u, 16u}, {7u, 11u}, {15u, 3u}}) {
      char input[64];
      std::snprintf(input, sizeof input, c.three ? "%.9g,%.9g,0" : "%.9g,%.9g", grid_u(width, x), grid_v(height, y));
      Command_run const eval = kvx_host(std::string("eval ") + c.shader + " input=" + input + " --path c");
      ASSERT_EQ(eval.status, 0) << eval.output;
      std::vector<float> pixel;
      for (unsigned k = 0; k < c.channels.size(); ++k) pixel.push_back(image.at(c.channels.size() - 1 - k, x, y));
      EXPECT_NE(eval.output.find(bits_text(pixel)), std::string::npos)
          << c.shader << " at (" << x << ", " << y << "): " << eval.output;
    }
  }
}

TEST(Shade, TheCommandLineFormEqualsTheFileForm) {
  std::string const from_file = temp("file.exr"), from_line = temp("line.exr");
  ASSERT_EQ(kvx_host("shade " + examples + "/texture.kvx -g 32 32 -o " + from_file).status, 0);
  Command_run const run = kvx_host(
      "shade --shader State_parametric_uv uv --shader Math_float2_multiply tiled --connect uv.result tiled.left "
      "--param tiled.right 3,3 --shader Math_color_tex2d ramp --param ramp.texture 2 "
      "--connect tiled.result ramp.coordinate --shader Math_color_tex2d checker --param checker.texture 1 "
      "--connect uv.result checker.coordinate --shader Math_color_lerp shade --param shade.start 0.45,0.45,0.45,1 "
      "--param shade.end 1,1,1,1 --connect checker.result shade.location --shader Math_color_multiply picture "
      "--connect ramp.result picture.left --connect shade.result picture.right --output picture -g 32 32 -o " +
      from_line);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(file_bytes(from_file), file_bytes(from_line));
}

TEST(Shade, ABadNetworkIsRefusedWhereItStandsAndNothingIsShaded) {
  struct Bad {
    char const* text;
    char const* message;
  };
  Bad const cases[] = {
      {"shader Math_float_nope a\n", ":1: unknown shader 'Math_float_nope'"},
      {"shader Math_float_sine a\n", ":1: unknown shader 'Math_float_sine'; did you mean 'Math_float_sin'?"},
      {"shader math_float_sin a\n", ":1: unknown shader 'math_float_sin'; did you mean 'Math_float_sin'?"},
      {"shader Math_float_add a\nparam x.left 1\n", ":2: unknown instance 'x'"},
      {"shader Math_float_sin sine\nshader Math_float_add m\nconnect sin.result m.left\noutput m\n",
       ":3: unknown instance 'sin'; did you mean 'sine'?"},
      {"shader Math_float_add m\nconnect sin.result m.left # sin is below\n\nshader Math_float_sin sin\n",
       ":2: instance 'sin' is made below, on line 4: make an instance above the lines that use it"},
      {"shader Math_float_add a\noutput b\nshader Math_float_add b\n",
       ":2: instance 'b' is made below, on line 3: make an instance above the lines that use it"},
      {"shader Math_float_add a\nparam a.lef 1\n",
       ":2: a (Math_float_add) has no parameter 'lef'; did you mean 'left'? (its parameters are left, right)"},
      {"shader Math_float_add a\nshader Math_float_add b\nconnect a.reslt b.left\n",
       ":3: a (Math_float_add) has no parameter 'reslt'; did you mean 'result'? (its parameters are left, right)"},
      {"shader Math_float_add a\nparam a.width 1\n",
       ":2: a (Math_float_add) has no parameter 'width': its parameters are left, right"},
      {"shader Math_float_add a\nshader Math_float_sin a\n", ":2: instance 'a' is already made, on line 1"},
      {"shader Math_float_add a\nparam a.left one\n", ":2: a.left: 'one' is not a float"},
      {"shader Math_float_add a\nshader Math_float3_add b\nconnect a.result b.left\n",
       ":3: cannot connect a.result (float) to b.left (float3): the types differ (splat repeats a float into every "
       "component)"},
      {"shader Math_float_add a\nshader Math_float_add b\nconnect a.result b.left\n# a comment\n"
       "connect b.result a.right\n",
       ":5: connecting b.result to a.right makes a cycle: a already feeds b"},
      {"shader Math_float_add a\nconnect a.result a.left\n", ":2: connecting a.result to a.left makes a cycle: a would feed itself"},
      {"shader Math_float_add a\nparam a.left 1\nparam a.left 2\n", ":3: a.left is already set, on line 2"},
      {"shader Math_float_add a\nparam a.left 1\n", ":2: no output: name the instance to shade with 'output INSTANCE'"},
      {"shader Math_float_add a\noutput a\noutput a\n", ":3: the output is already 'a', on line 2"},
      {"shader Math_float_add a\nsplat a.result a.left\n",
       ":2: cannot splat a.result (float) to a.left (float): splat takes a float into a vector or color"},
      {"shade Math_float_add a\n", ":1: unknown statement 'shade' (shader, param, connect, splat, output)"},
      {"shader Math_float_add\n", ":1: shader takes NAME INSTANCE"},
  };
  for (auto const& c : cases) {
    std::string const path = write_temp("bad.kvx", c.text);
    Command_run const run = kvx_host("shade " + path + " -g 4 4 -o " + temp("bad.exr"));
    EXPECT_EQ(run.status, 2) << c.text;
    EXPECT_EQ(run.output, "kvx-host: " + path + c.message + "\n") << c.text;
  }
  Command_run const unreadable = kvx_host("shade /nonexistent/net.kvx");
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_EQ(unreadable.output, "kvx-host: /nonexistent/net.kvx: cannot read: No such file or directory\n");
  Command_run const line = kvx_host("shade --shader Math_float_add a --connect a.result b.left");
  EXPECT_EQ(line.status, 2);
  EXPECT_EQ(line.output, "kvx-host: command line:2: unknown instance 'b'\n");
  EXPECT_EQ(kvx_host("shade --output").output, "kvx-host: shade: --output: 1 required I missing\n");
  EXPECT_EQ(kvx_host("shade x.kvx -o x.jpg").output, "kvx-host: shade: -o: 'x.jpg' is not a .exr or .png file name\n");
}

// What a user may hand over by mistake: each refused in one line, with exit
// status 2, its bytes printable.
TEST(Shade, AFileThatIsNoNetworkIsRefusedInOneLine) {
  std::string const directory = ::testing::TempDir();
  std::string const binary = write_temp("binary.kvx", std::string("shader Math_float_add a\n\x01\xff\0eTA", 30));
  std::string const latin1 = write_temp("latin1.kvx", "# caf\xe9\n");
  std::string const large = temp("large.kvx");
  std::filesystem::resize_file(write_temp("large.kvx", ""), (std::uintmax_t{64} << 20) + 1);
  std::string const overflow = write_temp("overflow.kvx", "shader Math_float_add a\nparam a.left 1e40\noutput a\n");
  struct Case {
    std::string network, message;
  };
  Case const cases[] = {
      {directory, directory + ": is a directory, not a network file"},
      {binary, binary + ":2: not text: the byte \\x01 (a network is plain text, one statement a line)"},
      {latin1, latin1 + ":1: not text: the byte \\xe9 (a network is plain text, one statement a line)"},
      {large, large + ": larger than 64 MiB, the most a network may be"},
      {overflow, overflow + ":2: a.left: '1e40' is out of range for a float (inf is written inf)"},
      {"--shader Math_float_add a --param a.left $(printf '\\001')", "command line:2: a.left: '\\x01' is not a float"},
  };
  for (auto const& c : cases) {
    Command_run const run = kvx_host("shade " + c.network);
    EXPECT_EQ(run.status, 2) << c.network;
    EXPECT_EQ(run.output, "kvx-host: " + c.message + "\n") << c.network;
  }
  std::filesystem::remove(large);
}

}  // namespace

namespace {

// A network of n instances of Math_float_max: the first two take constants,
// each later one the result before it and one earlier result chosen at
// random (a fixed seed): 2n - 4 connections. Its output's value is the
// largest constant it reaches.
struct Random_network {
  std::string text;
  float value;
};
Random_network random_network(unsigned n) {
  std::uint32_t seed = 12345;
  auto next = [&seed](unsigned below) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % below;
  };
  std::vector<float> values{0.5f, 0.25f};
  std::string text = "shader Math_float_max n0\nparam n0.left 0.5\nshader Math_float_max n1\nparam n1.left 0.25\n";
  for (unsigned i = 2; i < n; ++i) {
    unsigned const a = i - 1, b = next(i);
    std::string const name = std::to_string(i);
    text.append("shader Math_float_max n").append(name).append("\nconnect n").append(std::to_string(a));
    text.append(".result n").append(name).append(".left\nconnect n").append(std::to_string(b));
    text.append(".result n").append(name).append(".right\n");
    values.push_back(std::max(values[a], values[b]));
  }
  return {text.append("output n").append(std::to_string(n - 1)).append("\n"), values.back()};
}

}  // namespace

// Networks of a hundred thousand instances: built, checked and shaded at one
// point without recursion, so nothing grows with their size but memory; a
// cycle closed at the end is still named at its line.
TEST(Shade, NetworksOfAHundredThousandInstancesShadeWithoutRecursion) {
  unsigned const n = 100000;
  std::string chain = "shader Math_float_add n0\nparam n0.left 1\n";
  for (unsigned i = 1; i < n; ++i) {
    std::string const name = std::to_string(i);
    chain.append("shader Math_float_add n").append(name).append("\nconnect n").append(std::to_string(i - 1));
    chain.append(".result n").append(name).append(".left\nparam n").append(name).append(".right 1\n");
  }
  Random_network const random = random_network(n);
  struct Case {
    std::string name, text;
    float value;
    std::string free_input;  // of an instance the output depends on
  };
  for (auto const& c : {Case{"chain", chain + "output n99999\n", 100000.0f, "n0.right"},
                        Case{"random", random.text, random.value, "n1.right"}}) {
    std::string const out = temp(c.name + ".exr");
    Command_run const run = kvx_host("shade " + write_temp(c.name + ".kvx", c.text) + " -g 1 1 --threads 1 -o " + out);
    ASSERT_EQ(run.status, 0) << c.name << "\n" << run.output;
    EXPECT_EQ(read_exr(out).at(0, 0, 0), c.value) << c.name;

    std::string const closing = "connect n" + std::to_string(n - 1) + ".result " + c.free_input + "\n";
    std::string const path = write_temp(c.name + "_cycle.kvx", c.text + closing);
    unsigned const line = static_cast<unsigned>(std::count(c.text.begin(), c.text.end(), '\n')) + 1;
    Command_run const cycle = kvx_host("shade " + path + " -g 1 1");
    EXPECT_EQ(cycle.status, 2) << c.name;
    std::string const source = c.free_input.substr(0, c.free_input.find('.'));
    EXPECT_EQ(cycle.output, "kvx-host: " + path + ":" + std::to_string(line) + ": connecting n99999.result to " +
                                c.free_input + " makes a cycle: " + source + " already feeds n99999\n")
        << c.name << "\n" << cycle.output;
  }
}
