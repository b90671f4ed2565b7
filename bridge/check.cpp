// SPDX-License-Identifier: Apache-2.0
// The checked build's reports and lifecycle bookkeeping. Compiled into the
// checked build only. All state is constant-initialised: nothing runs at load.
#include <bridge/check.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <catalogue/catalogue.h>

namespace kvx::bridge::check {
namespace {

struct Text {
  char const* host_did;     // '#' stands for the finding's number
  char const* library_did;
  int step;                 // of docs/host-interface.md
};

constexpr Text texts[] = {
    {"zr_get_korvex_interface(1) answered null", "the library calls get_state through it and fails", 6},
    {"Runtime_interface::get_state answered null", "the library calls the State through it and fails", 7},
    {"State::get_host_state answered null", "the library reads the parameters' tag settings through it and fails", 9},
    {"State::get_render_settings answered null", "the library reads the setting through it and fails", 11},
    {"Render_settings::get_camera answered null", "the library reads the setting through it and fails", 11},
    {"zr_query(160) returned without writing the gathering flag", "the library took plain mode", 2},
    {"zr_query(51) returned without writing the instance slot", "the library took no slot", 5},
    {"zr_query(51) answered a null instance slot", "the library recorded or released no instance", 17},
    {"Eval_settings integer_tags is #, neither 0 nor 1",
     "the library read the slots of int, bool and texture parameters, as for 0", 10},
    {"called the entry with a null parameter block", "every parameter took its default", 10},
    {"handed an output request list of # requests", "the library walks them all", 12},
    {"handed an output request list of # requests with a null entries, type codes or destinations array",
     "the library answered none and set done", 12},
    {"handed output request # with a null destination", "the library skipped it", 12},
    {"handed output request # by name with a null name", "the library answered it with zeros", 12},
    {"handed output request # with type code #, which the library does not answer", "the library skipped it", 12},
    {"Data_block::lookup answered two different addresses for one name in one capture",
     "the library read the value at the second", 21},
    {"called an instance init before the shader-level init", "the instance has no shader object", 17},
    {"called an instance exit for an instance without init (its slot is empty)", "the library did nothing", 18},
    {"called the shader-level init a second time without an exit",
     "the library destroyed the first plug-in and kept a fresh one", 16},
    {"called the shader-level exit without a shader-level init", "the library did nothing", 19},
    {"made an instance call after the shader-level exit", "the library went on without the shader's plug-in", 19},
    {"made two lifecycle calls of the shader at once, one of them shader-level",
     "the library went on; they race on the shader's plug-in", 16},
};
static_assert(std::size(texts) == static_cast<std::size_t>(Finding::count));
static_assert(static_cast<unsigned>(Finding::count) <= 32);

constinit std::atomic<std::uint32_t> reported[catalogue::shader_count] = {};

// Per shader: whether its shader-level exit came last, and the lifecycle calls
// in progress (the top bit a shader-level one, the rest instance calls).
constinit std::atomic<bool> exited[catalogue::shader_count] = {};
constinit std::atomic<std::uint32_t> in_progress[catalogue::shader_count] = {};
constexpr std::uint32_t shader_level_bit = 1u << 31;

// Appends `text` to `line`, the first '#' as `numbers[0]`, the next as `numbers[1]`.
void append(char* line, std::size_t size, char const* text, long long const* numbers) {
  std::size_t at = std::strlen(line);
  for (; *text && at + 24 < size; ++text) {
    if (*text == '#') {
      at += static_cast<std::size_t>(std::snprintf(line + at, size - at, "%lld", *numbers++));
      continue;
    }
    line[at++] = *text;
  }
  line[at] = '\0';
}

void write_line(char const* line) {
  std::size_t const length = std::strlen(line);
  char const* path = std::getenv("KVX_CHECK_LOG");
  int fd = path && *path ? ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : 2;
  if (fd < 0) fd = 2;
  [[maybe_unused]] ssize_t const written = ::write(fd, line, length);
  if (fd != 2) ::close(fd);
}

}  // namespace

void report(unsigned shader, Finding finding, long long number) {
  std::uint32_t const bit = 1u << static_cast<unsigned>(finding);
  if (shader >= catalogue::shader_count || (reported[shader].fetch_or(bit) & bit)) return;
  Text const& text = texts[static_cast<unsigned>(finding)];
  auto const name = catalogue::shaders[shader].name;
  char line[512];
  std::snprintf(line, sizeof line, "kvx: check: %.*s: ", static_cast<int>(name.size()), name.data());
  long long const numbers[2] = {number >> 32, number & 0xffffffff};
  long long const single[2] = {number, 0};
  bool const two = std::strchr(text.host_did, '#') != std::strrchr(text.host_did, '#');
  append(line, sizeof line, text.host_did, two ? numbers : single);
  std::size_t const at = std::strlen(line);
  std::snprintf(line + at, sizeof line - at, " (%s; step %d of docs/host-interface.md)\n", text.library_did,
                text.step);
  write_line(line);
  char const* mode = std::getenv("KVX_CHECK");
  if (mode && std::strcmp(mode, "abort") == 0) std::abort();
}

void shader_init_called(unsigned shader, bool initialised) {
  expect([&] { return !initialised; }, shader, Finding::shader_init_twice);
  exited[shader].store(false);
}

void shader_exit_called(unsigned shader, bool initialised) {
  expect([&] { return initialised; }, shader, Finding::shader_exit_without_init);
  exited[shader].store(true);
}

void instance_call(unsigned shader, bool initialised, bool init) {
  if (initialised) return;
  if (exited[shader].load()) report(shader, Finding::call_after_shader_exit);
  else if (init) report(shader, Finding::instance_init_before_shader_init);
}

Lifecycle_call::Lifecycle_call(unsigned shader, bool shader_level) : shader_(shader), shader_level_(shader_level) {
  std::uint32_t const before =
      shader_level ? in_progress[shader].fetch_or(shader_level_bit) : in_progress[shader].fetch_add(1);
  if (shader_level ? before != 0 : (before & shader_level_bit) != 0) report(shader, Finding::lifecycle_overlap);
}

Lifecycle_call::~Lifecycle_call() {
  if (shader_level_) in_progress[shader_].fetch_and(~shader_level_bit);
  else in_progress[shader_].fetch_sub(1);
}

}  // namespace kvx::bridge::check
