// SPDX-License-Identifier: Apache-2.0
// The checked build's reports and lifecycle bookkeeping. Compiled into the
// checked build only. All state is constant-initialised: nothing runs at load.
#include <bridge/check/check.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <catalogue/catalogue.h>

namespace kvx::bridge::check {
namespace {

struct Text {
  char const* host_did;     // '#' stands for the finding's number
  char const* library_did;
  int step;                 // of docs/host-interface.md
};

constexpr Text texts[] = {
#define KVX_FINDING(name, step, host_did, library_did) {host_did, library_did, step},
#include <bridge/check/findings.def>
};
static_assert(std::size(texts) == static_cast<std::size_t>(Finding::count));
static_assert(sane_request_count == 65536 &&
              std::string_view(texts[static_cast<unsigned>(Finding::request_count_huge)].host_did).ends_with(
                  "more than 65536"));
static_assert(static_cast<unsigned>(Finding::count) <= 32);

constinit std::atomic<std::uint32_t> reported[catalogue::shader_count] = {};

// Per shader: whether its shader-level exit came last, and the lifecycle calls
// in progress (the top bit a shader-level one, the rest instance calls).
constinit std::atomic<bool> exited[catalogue::shader_count] = {};
constinit std::atomic<std::uint32_t> in_progress[catalogue::shader_count] = {};
constexpr std::uint32_t shader_level_bit = 1u << 31;

// Appends `text` to `line`, the first '#' as `numbers[0]`, the next as
// `numbers[1]`, a '%' as `parameter`.
void append(char* line, std::size_t size, char const* text, long long const* numbers, std::string_view parameter) {
  std::size_t at = std::strlen(line);
  for (; *text && at + 24 + parameter.size() < size; ++text) {
    if (*text == '#') {
      at += static_cast<std::size_t>(std::snprintf(line + at, size - at, "%lld", *numbers++));
      continue;
    }
    if (*text == '%') {
      at += static_cast<std::size_t>(
          std::snprintf(line + at, size - at, "%.*s", static_cast<int>(parameter.size()), parameter.data()));
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

void report(unsigned shader, Finding finding, long long number, unsigned parameter) {
  std::uint32_t const bit = 1u << static_cast<unsigned>(finding);
  if (shader >= catalogue::shader_count || (reported[shader].fetch_or(bit) & bit)) return;
  Text const& text = texts[static_cast<unsigned>(finding)];
  auto const name = catalogue::shaders[shader].name;
  char line[512];
  std::snprintf(line, sizeof line, "kvx: check: %.*s: ", static_cast<int>(name.size()), name.data());
  long long const numbers[2] = {number >> 32, number & 0xffffffff};
  long long const single[2] = {number, 0};
  bool const two = std::strchr(text.host_did, '#') != std::strrchr(text.host_did, '#');
  catalogue::Shader const& row = catalogue::shaders[shader];
  std::string_view const parameter_name =
      parameter < row.parameter_count ? row.parameter_list[parameter].name : std::string_view("?");
  append(line, sizeof line, text.host_did, two ? numbers : single, parameter_name);
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
  bool const exited_last = exited[shader].load();
  expect([&] { return !exited_last; }, shader, Finding::call_after_shader_exit);
  expect([&] { return exited_last || !init; }, shader, Finding::instance_init_before_shader_init);
}

Lifecycle_call::Lifecycle_call(unsigned shader, bool shader_level) : shader_(shader), shader_level_(shader_level) {
  std::uint32_t const before =
      shader_level ? in_progress[shader].fetch_or(shader_level_bit) : in_progress[shader].fetch_add(1);
  expect([&] { return shader_level ? before == 0 : (before & shader_level_bit) == 0; }, shader,
         Finding::lifecycle_overlap);
}

Lifecycle_call::~Lifecycle_call() {
  if (shader_level_) in_progress[shader_].fetch_and(~shader_level_bit);
  else in_progress[shader_].fetch_sub(1);
}

}  // namespace kvx::bridge::check
