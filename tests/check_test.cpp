// SPDX-License-Identifier: Apache-2.0
// The checked plug-in against a host that makes one mistake at a time: each is
// reported in one line, with its step, once however often it is made, and the
// call then goes on as in the plain build (or, where the plain build would
// crash, crashes after the report). Skipped against the plain plug-in.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <bridge/lifecycle.h>
#include <host/requests.h>

#include "support.h"

namespace kvx::test {
namespace {

#ifdef KVX_CHECKED_LIBRARY
constexpr bool checked_build = true;
#else
constexpr bool checked_build = false;
#endif

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

struct Mistake {
  char const* shader;
  char const* reported;  // what the host did, as the line says it
  int step;
  std::function<void(char const* shader)> make;  // makes it and checks what follows
};

std::vector<Mistake> mistakes() {
  return {
      {"Math_float_add", "zr_query(160) returned without writing the gathering flag", 2,
       [](char const* shader) {
         Constant_host s;
         s.host.leave_unanswered(QUERY_GATHER_FLAG);
         C_result const r = s.call(shader, {floats(2), floats(3)});
         EXPECT_EQ(r.written(), 4u) << "plain mode";
         EXPECT_EQ(float_at(r.value()), 5.0f);
       }},
      {"Math_float_subtract", "zr_query(51) returned without writing the instance slot", 5,
       [](char const* shader) {
         Constant_host s;
         s.host.leave_unanswered(QUERY_INSTANCE_SLOT);
         EXPECT_EQ(float_at(s.call(shader, {floats(2), floats(3)}).value()), -1.0f);
       }},
      {"Math_float_divide", "zr_query(51) answered a null instance slot", 17,
       [](char const* shader) {
         Lifecycle l(shader);
         l.host.set_instance_slot_available(false);
         l.instance_init();
         EXPECT_EQ(l.host.instance_slot(), nullptr) << "nothing recorded";
       }},
      {"Math_int_add", "Eval_settings integer_tags is 2, neither 0 nor 1", 10,
       [](char const* shader) {
         Constant_host s;
         s.host.record().set_integer_tags(2);
         s.block.set(row(shader).parameter_list[0], ints(5), tag_connected);
         s.block.set(row(shader).parameter_list[1], ints(7));
         EXPECT_EQ(int_at(call_c(entry(shader), s.host, s.block).value()), 12) << "the slot read";
         EXPECT_EQ(s.host.count(Call::phen_eval), 0u);
       }},
      {"Math_float_multiply", "called the entry with a null parameter block", 10,
       [](char const* shader) {
         Constant_host s;
         float value = 0;
         EXPECT_EQ(entry(shader)(&value, s.host.record().get(), nullptr), 1);
         EXPECT_EQ(value, 1.0f) << "the defaults, 1 and 1";
       }},
      {"Math_float4_subtract", "handed an output request list of 1048576 requests", 12,
       [](char const* shader) {
         host::Output_requests requests;
         gather(shader, requests, [](host::Output_requests& r) {
           r.set_count(1u << 20);
           r.set_arrays(nullptr, nullptr, nullptr);
         });
       }},
      {"Math_float3_add",
       "handed an output request list of 1 requests with a null entries, type codes or destinations array", 12,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named("result", 5, destination.data());
         gather(shader, requests, [](host::Output_requests& r) { r.set_arrays(nullptr, nullptr, nullptr); });
         EXPECT_EQ(float_at(destination), 9.0f) << "nothing answered";
       }},
      {"Math_float2_add", "handed output request 0 with a null destination", 12,
       [](char const* shader) {
         host::Output_requests requests;
         requests.named("result", 3, nullptr);
         EXPECT_EQ(gather(shader, requests, [](host::Output_requests&) {}).returned, 1);
       }},
      {"Math_color_add", "handed output request 0 by name with a null name", 12,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named(nullptr, 5, destination.data());
         gather(shader, requests, [](host::Output_requests&) {});
         EXPECT_TRUE(same_floats(destination, {0, 0, 0, 0})) << "zeros";
       }},
      {"Math_float4_add", "handed output request 0 with type code 13, which the library does not answer", 12,
       [](char const* shader) {
         host::Output_requests requests;
         catalogue::Value_bytes destination = floats(9, 9, 9, 9);
         requests.named("result", 13, destination.data());
         gather(shader, requests, [](host::Output_requests&) {});
         EXPECT_EQ(float_at(destination), 9.0f) << "skipped";
       }},
      {"Math_float_max", "Data_block::lookup answered two different addresses for one name in one capture", 21,
       [](char const* shader) {
         Two_faced_block block;
         host::Shader_object object(*checked().shader_plugin(row(shader).index), block);
         Recording_host host;
         EXPECT_EQ(float_at(object.result(host.state())), 2.0f) << "both parameters from the second address";
       }},
      {"Math_float_min", "called an instance init before the shader-level init", 17,
       [](char const* shader) {
         Lifecycle l(shader);
         l.instance_init();
         auto const* record = static_cast<bridge::Shader_instance_record const*>(l.host.instance_slot());
         ASSERT_NE(record, nullptr);
         EXPECT_EQ(record->shader, nullptr) << "no shader object without a plug-in";
         l.instance_exit();
       }},
      {"Math_float_abs", "called an instance exit for an instance without init (its slot is empty)", 18,
       [](char const* shader) {
         Lifecycle l(shader);
         l.instance_exit();
         EXPECT_EQ(l.host.instance_slot(), nullptr);
       }},
      {"Math_float_sign", "called the shader-level init a second time without an exit", 16,
       [](char const* shader) {
         Lifecycle l(shader);
         l.shader_init();
         l.shader_init();
         EXPECT_EQ(l.request, 1);
         l.shader_exit();
       }},
      {"Math_float_floor", "called the shader-level exit without a shader-level init", 19,
       [](char const* shader) { Lifecycle(shader).shader_exit(); }},
      {"Math_float_ceil", "made an instance call after the shader-level exit", 19,
       [](char const* shader) {
         Lifecycle l(shader);
         l.shader_init();
         l.shader_exit();
         l.instance_init();
         l.instance_exit();
         EXPECT_EQ(l.host.instance_slot(), nullptr) << "the record made and released";
       }},
      {"Math_float_round", "made two lifecycle calls of the shader at once, one of them shader-level", 16,
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
    SCOPED_TRACE(m.reported);
    Log log;
    m.make(m.shader);
    m.make(m.shader);
    std::string const start = std::string("kvx: check: ") + m.shader + ": " + m.reported + " (";
    std::string const end = "; step " + std::to_string(m.step) + " of docs/host-interface.md)";
    unsigned found = 0;
    for (auto const& line : log.lines())
      if (line.starts_with(start)) {
        ++found;
        EXPECT_TRUE(line.ends_with(end)) << line;
      }
    EXPECT_EQ(found, 1u) << "reported once, of " << log.lines().size() << " lines";
  }
}

// Where the interface forbids a null answer the plain build fails on it; the
// checked build says so first, on standard error.
struct Null_answer {
  char const* shader;
  Call call;
  char const* reported;  // a regular expression
};

TEST(CheckedDeathTest, ANullTheLibraryCannotWorkWithIsReportedBeforeTheCrash) {
  if (!checked_build) GTEST_SKIP() << "the plain plug-in checks nothing";
  mistakes_on_purpose();
  Null_answer const cases[] = {
      {"Math_float_frac", Call::get_interface,
       "zr_get_korvex_interface.1. answered null .*step 6 of docs/host-interface.md"},
      {"Math_float_sqrt", Call::get_state,
       "Runtime_interface::get_state answered null .*step 7 of docs/host-interface.md"},
      {"Math_float_sin", Call::host_state, "State::get_host_state answered null .*step 9 of docs/host-interface.md"},
      {"State_animation_time", Call::render_settings,
       "State::get_render_settings answered null .*step 11 of docs/host-interface.md"},
      {"State_focal_length", Call::camera,
       "Render_settings::get_camera answered null .*step 11 of docs/host-interface.md"},
  };
  for (auto const& c : cases) {
    EXPECT_DEATH(
        {
          ::unsetenv("KVX_CHECK_LOG");
          Constant_host s;
          s.host.answer_null(c.call);
          s.call(c.shader, {floats(0.5f)});
        },
        std::string("kvx: check: ") + c.shader + ": " + c.reported)
        << c.shader;
  }
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
      "kvx: check: Math_float_tan: called the entry with a null parameter block");
}

}  // namespace
}  // namespace kvx::test
