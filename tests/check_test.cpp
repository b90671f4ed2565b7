// SPDX-License-Identifier: Apache-2.0
// The checked plug-in against a host that makes one mistake at a time: each is
// reported in one line, with its step, once however often it is made, and the
// call then goes on as in the plain build (or, where the plain build would
// crash, crashes after the report). Skipped against the plain plug-in.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <bridge/check/check.h>
#include <bridge/entry/lifecycle.h>
#include <host/requests.h>

#include "support.h"

namespace kvx::test {
namespace {

bool const checked_build = checked_suite();

// A private copy of the plug-in: what it has reported is these tests' alone.
host::Library& checked() {
  static std::filesystem::path const copy = [] {
    auto const folder = std::filesystem::temp_directory_path() / ("kvx-checked-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(library().path(), folder / "libkvx_base.so",
                               std::filesystem::copy_options::overwrite_existing);
    return folder / "libkvx_base.so";
  }();
  static host::Library loaded(copy.string());
  return loaded;
}

template <class F>
F* entry_of(std::string const& symbol) {
  F* f = checked().function<F>(symbol.c_str());
  if (!f) throw std::runtime_error("no symbol " + symbol);
  return f;
}
Entry* entry(char const* shader) { return entry_of<Entry>(shader); }
using Init = void(Host_state*, void*, std::int32_t*);
using Exit = void(Host_state*, void*);

// The findings of one case, in a file of its own.
class Log {
 public:
  Log() : path_(std::filesystem::temp_directory_path() / ("kvx-check-case-" + std::to_string(::getpid()))) {
    if (char const* before = std::getenv("KVX_CHECK_LOG")) before_ = before;
    std::filesystem::remove(path_);
    ::setenv("KVX_CHECK_LOG", path_.c_str(), 1);
  }
  ~Log() {
    std::filesystem::remove(path_);
    if (before_.empty()) ::unsetenv("KVX_CHECK_LOG");
    else ::setenv("KVX_CHECK_LOG", before_.c_str(), 1);
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> all;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  }

 private:
  std::filesystem::path path_;
  std::string before_;
};

// A host and a block of constants in their slots, integers tagged too.
struct Constant_host {
  Recording_host host;
  C_block block;
  Constant_host() {
    host.record().set_tag_offset(block.tag_offset());
    host.record().set_integer_tags(1);
  }
  C_result call(char const* shader, std::initializer_list<catalogue::Value_bytes> arguments) {
    unsigned k = 0;
    for (auto const& a : arguments)
      if (k < row(shader).parameter_count) block.set(row(shader).parameter_list[k++], a);
    return call_c(entry(shader), host, block);
  }
};

// A shader's four lifecycle calls on one host, shader level and instance level.
struct Lifecycle : Constant_host {
  explicit Lifecycle(char const* shader)
      : init(entry_of<Init>(std::string(shader) + "_init")), exit(entry_of<Exit>(std::string(shader) + "_exit")) {}
  void shader_init() { init(host.record().get(), nullptr, &request); }
  void shader_exit() { exit(host.record().get(), nullptr); }
  void instance_init() { init(host.record().get(), block.params(), &request); }
  void instance_exit() { exit(host.record().get(), block.params()); }
  Init* init;
  Exit* exit;
  std::int32_t request = 0;
};

// Gathering mode with a request list, the value asked for by name.
C_result gather(char const* shader, host::Output_requests& requests,
                std::function<void(host::Output_requests&)> spoil) {
  Constant_host s;
  s.host.set_gather_flag(1);
  auto* list = requests.list();
  spoil(requests);
  s.host.set_output_requests(list);
  C_result const r = s.call(shader, {floats(1, 2, 3, 4), floats(1, 1, 1, 1)});
  EXPECT_TRUE(requests.done()) << "done is set as in the plain build";
  return r;
}

// Answers two addresses for every name, in turn.
class Two_faced_block final : public ZR::SHADER::Data_block {
 public:
  void* lookup(char const*) override { return calls_++ % 2 ? second_.data() : first_.data(); }
  int notify_output(char const*) override { return 0; }
  catalogue::Value_bytes first_ = floats(1), second_ = floats(2);

 private:
  unsigned calls_ = 0;
};

using bridge::check::Finding;

struct Mistake {
  char const* shader;
  Finding finding;
  long long number;                              // for the line's '#'
  std::function<void(char const* shader)> make;  // makes it and checks what follows
  char const* parameter = "";                    // for the line's '%'
};

// The line a finding is reported in, as docs/host-interface.md describes it:
// the row of bridge/check/findings.def, its '#' the number (two: its high and low
// 32 bits).
std::string expected_line(char const* shader, Finding finding, long long number = 0, std::string const& parameter = "") {
  struct Row {
    int step;
    std::string host_did, library_did;
  };
  static std::vector<Row> const rows = {
#define KVX_FINDING(name, step, host_did, library_did) {step, host_did, library_did},
#include <bridge/check/findings.def>
  };
  Row const& row = rows[static_cast<unsigned>(finding)];
  bool const two = std::count(row.host_did.begin(), row.host_did.end(), '#') == 2;
  long long const numbers[2] = {two ? number >> 32 : number, number & 0xffffffff};
  std::string host_did;
  unsigned used = 0;
  for (char c : row.host_did)
    host_did += c == '#' ? std::to_string(numbers[used++]) : c == '%' ? parameter : std::string(1, c);
  return std::string("kvx: check: ") + shader + ": " + host_did + " (" + row.library_did + "; step " +
         std::to_string(row.step) + " of docs/host-interface.md)";
}

std::vector<Mistake> mistakes() {
  return {
      {"Math_float_add", Finding::gather_flag_unwritten, 0,
       [](char const* shader) {
         Constant_host s;
         s.host.leave_unanswered(QUERY_GATHER_FLAG);
         C_result const r = s.call(shader, {floats(2), floats(3)});
         EXPECT_EQ(r.written(), 4u) << "plain mode";
         EXPECT_EQ(float_at(r.value()), 5.0f);
       }},
      {"Math_float_subtract", Finding::slot_unwritten, 0,
       [](char const* shader) {
         Constant_host s;
         s.host.leave_unanswered(QUERY_INSTANCE_SLOT);
         EXPECT_EQ(float_at(s.call(shader, {floats(2), floats(3)}).value()), -1.0f);
       }},
      {"Math_float_divide", Finding::null_instance_slot, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.host.set_instance_slot_available(false);
         l.instance_init();
         EXPECT_EQ(l.host.instance_slot(), nullptr) << "nothing recorded";
       }},
      {"Math_int_add", Finding::integer_tags_value, 2,
       [](char const* shader) {
         Constant_host s;
         s.host.record().set_integer_tags(2);
         s.block.set(row(shader).parameter_list[0], ints(5), tag_connected);
         s.block.set(row(shader).parameter_list[1], ints(7));
         EXPECT_EQ(int_at(call_c(entry(shader), s.host, s.block).value()), 12) << "the slot read";
         EXPECT_EQ(s.host.count(Call::phen_eval), 0u);
       },
       "left"},
      // A lerp's tags 8 bytes on: location's tag is end's second component.
      {"Math_float3_lerp", Finding::tag_on_slots, 8,
       [](char const* shader) {
         Recording_host host;
         host::Parameter_block block(8);
         host.record().set_tag_offset(8);
         auto const& p = row(shader).parameter_list;
         block.set(p[0], floats(1, 1, 1));
         block.set(p[1], floats(3, 3, 3));
         block.set(p[2], floats(0.5f, 0.5f, 0.5f));
         call_c(entry(shader), host, block);
       },
       "start"},
      {"Math_float_add", Finding::tag_offset_unaligned, 66,
       [](char const* shader) {
         Recording_host host;
         host::Parameter_block block(66);
         host.record().set_tag_offset(66);
         block.set(row(shader).parameter_list[0], floats(2));
         block.set(row(shader).parameter_list[1], floats(3));
         EXPECT_EQ(float_at(call_c(entry(shader), host, block).value()), 5.0f);
       },
       "left"},
      {"Math_float_multiply", Finding::null_parameter_block, 0,
       [](char const* shader) {
         Constant_host s;
         float value = 0;
         EXPECT_EQ(entry(shader)(&value, s.host.record().get(), nullptr), 1);
         EXPECT_EQ(value, 1.0f) << "the defaults, 1 and 1";
       }},
      {"Math_float4_subtract", Finding::request_count_huge, 1 << 20,
       [](char const* shader) {
         host::Output_requests requests;
         gather(shader, requests, [](host::Output_requests& r) {
           r.set_count(1u << 20);
           r.set_arrays(nullptr, nullptr, nullptr);
         });
       }},
      {"Math_float3_add", Finding::request_arrays_null, 1,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named("result", 5, destination.data());
         gather(shader, requests, [](host::Output_requests& r) { r.set_arrays(nullptr, nullptr, nullptr); });
         EXPECT_EQ(float_at(destination), 9.0f) << "nothing answered";
       }},
      {"Math_float2_add", Finding::request_destination_null, 0,
       [](char const* shader) {
         host::Output_requests requests;
         requests.named("result", 3, nullptr);
         EXPECT_EQ(gather(shader, requests, [](host::Output_requests&) {}).returned, 1);
       }},
      {"Math_color_add", Finding::request_name_null, 0,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named(nullptr, 5, destination.data());
         gather(shader, requests, [](host::Output_requests&) {});
         EXPECT_TRUE(same_floats(destination, {0, 0, 0, 0})) << "zeros";
       }},
      {"Math_float4_add", Finding::request_code_skipped, 13,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named("result", 13, destination.data());
         gather(shader, requests, [](host::Output_requests&) {});
         EXPECT_EQ(float_at(destination), 9.0f) << "skipped";
       }},
      {"Math_float_max", Finding::lookup_moved, 0,
       [](char const* shader) {
         Two_faced_block block;
         host::Shader_object object(*checked().shader_plugin(row(shader).index), block);
         Recording_host host;
         EXPECT_EQ(float_at(object.result(host.state())), 2.0f) << "both parameters from the second address";
       }},
      {"Math_float_min", Finding::instance_init_before_shader_init, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.instance_init();
         auto const* record = static_cast<bridge::Shader_instance_record const*>(l.host.instance_slot());
         ASSERT_NE(record, nullptr);
         EXPECT_EQ(record->shader, nullptr) << "no shader object without a plug-in";
         l.instance_exit();
       }},
      {"Math_float_abs", Finding::instance_exit_without_init, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.instance_exit();
         EXPECT_EQ(l.host.instance_slot(), nullptr);
       }},
      {"Math_float_sign", Finding::shader_init_twice, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.shader_init();
         l.shader_init();
         EXPECT_EQ(l.request, 1);
         l.shader_exit();
       }},
      {"Math_float_floor", Finding::shader_exit_without_init, 0,
       [](char const* shader) { Lifecycle(shader).shader_exit(); }},
      {"Math_float_ceil", Finding::call_after_shader_exit, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.shader_init();
         l.shader_exit();
         l.instance_init();
         l.instance_exit();
         EXPECT_EQ(l.host.instance_slot(), nullptr) << "the record made and released";
       }},
      {"Math_float_round", Finding::lifecycle_overlap, 0,
       [](char const* shader) {
         Lifecycle l(shader);
         l.shader_init();
         // While the instance init asks for its slot, the host starts the
         // shader-level exit and init over: the two overlap.
         bool once = true;
         l.host.on_call([&](Call_record const& call) {
           if (call.call != Call::query || call.id != QUERY_INSTANCE_SLOT || !std::exchange(once, false)) return;
           l.shader_exit();
           l.shader_init();
         });
         l.instance_init();
         l.host.on_call(nullptr);
         l.instance_exit();
         l.shader_exit();
       }},
  };
}

TEST(Checked, EachMistakeIsReportedOnceWithItsStepAndTheCallGoesOnAsInThePlainBuild) {
  if (!checked_build) GTEST_SKIP() << "the plain plug-in checks nothing";
  mistakes_on_purpose();
  for (auto const& m : mistakes()) {
    std::string const line = expected_line(m.shader, m.finding, m.number, m.parameter);
    SCOPED_TRACE(line);
    Log log;
    m.make(m.shader);
    m.make(m.shader);
    auto const lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << "reported once, of " << lines.size() << " lines";
  }
}

// Where the interface forbids a null answer the plain build fails on it; the
// checked build says so first, on standard error.
struct Null_answer {
  char const* shader;
  Call call;
  Finding finding;
};

Null_answer const null_answers[] = {
    {"Math_float_frac", Call::get_interface, Finding::no_runtime_interface},
    {"Math_float_sqrt", Call::get_state, Finding::no_state},
    {"Math_float_sin", Call::host_state, Finding::no_host_state},
    {"State_animation_time", Call::render_settings, Finding::no_render_settings},
    {"State_focal_length", Call::camera, Finding::no_camera},
};

// The text as a regular expression that matches it alone.
std::string literally(std::string const& text) {
  std::string pattern;
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

TEST(CheckedDeathTest, ANullTheLibraryCannotWorkWithIsReportedBeforeTheCrash) {
  if (!checked_build) GTEST_SKIP() << "the plain plug-in checks nothing";
  mistakes_on_purpose();
  for (auto const& c : null_answers) {
    EXPECT_DEATH(
        {
          ::unsetenv("KVX_CHECK_LOG");
          Constant_host s;
          s.host.answer_null(c.call);
          s.call(c.shader, {floats(0.5f)});
        },
        literally(expected_line(c.shader, c.finding)))
        << c.shader;
  }
}

TEST(Checked, EveryFindingHasACaseHere) {
  std::set<Finding> made;
  for (auto const& m : mistakes()) made.insert(m.finding);
  for (auto const& c : null_answers) made.insert(c.finding);
  for (unsigned f = 0; f < static_cast<unsigned>(Finding::count); ++f)
    EXPECT_TRUE(made.contains(static_cast<Finding>(f))) << "no case makes finding " << f << " of bridge/check/findings.def";
}

TEST(CheckedDeathTest, WithKvxCheckAbortTheFirstFindingAborts) {
  if (!checked_build) GTEST_SKIP() << "the plain plug-in checks nothing";
  mistakes_on_purpose();
  EXPECT_DEATH(
      {
        ::unsetenv("KVX_CHECK_LOG");
        ::setenv("KVX_CHECK", "abort", 1);
        float value;
        Recording_host host;
        entry("Math_float_tan")(&value, host.record().get(), nullptr);
      },
      literally(expected_line("Math_float_tan", Finding::null_parameter_block)));
}

}  // namespace
}  // namespace kvx::test
