// SPDX-License-Identifier: Apache-2.0
// The checked build: the same library with every reliance on the host checked
// where it is used, each mistake reported in one line on standard error (or
// to the file KVX_CHECK_LOG names), once per shader and finding; with
// KVX_CHECK=abort the process aborts at the first. The checks only read what
// the library is handed anyway and never ask the host anything more; after a
// finding the library goes on exactly as the plain build does.
//
// In the plain build (KVX_CHECKED undefined) `enabled` is false and every
// check is discarded at compile time: the code is the plain build's own.
#pragma once

#include <cstdint>
#include <type_traits>

#include <bridge/interface/export.h>

namespace kvx::bridge::check {

#ifdef KVX_CHECKED
inline constexpr bool enabled = true;
#else
inline constexpr bool enabled = false;
#endif

// What a host did wrong: the rows of bridge/check/findings.def, which give each
// its step of docs/host-interface.md and its text.
enum class Finding : std::uint8_t {
#define KVX_FINDING(name, step, host_did, library_did) name,
#include <bridge/check/findings.def>
  count
};

// What the library puts in a query's answer before asking, to see whether the
// host wrote it. A host that writes exactly these is taken for one that did
// not; the plain build starts from 0 and null.
inline constexpr std::uint32_t unwritten_flag = 0x6b767821u;
inline void** unwritten_slot() { return reinterpret_cast<void**>(std::uintptr_t{0x6b76782100000008u}); }

// The answer a query left, or where the host left the marker in it, after a
// report, the plain build's start (zero, null): the checked build goes on as
// the plain one. In the plain build, the answer as it is.
template <class T>
[[gnu::always_inline]] inline T answered(T answer, T marker, unsigned shader, Finding finding);

// A finding made at no parameter in particular.
inline constexpr unsigned no_parameter = ~0u;

// Requests beyond this many in one list are taken for garbage.
inline constexpr std::uint32_t sane_request_count = 1u << 16;

#ifdef KVX_CHECKED
// Reports the finding for the shader at catalogue index `shader`, with a
// number for the text's '#' and the index of the parameter its '%' names,
// where it has them; once per shader and finding.
[[gnu::cold]] KVX_HIDDEN void report(unsigned shader, Finding finding, long long number = 0,
                                     unsigned parameter = no_parameter);

// The shader-level lifecycle of every shader, for the order checks.
KVX_HIDDEN void shader_init_called(unsigned shader, bool initialised);
KVX_HIDDEN void shader_exit_called(unsigned shader, bool initialised);
KVX_HIDDEN void instance_call(unsigned shader, bool initialised, bool init);

// Marks a lifecycle call of `shader` in progress, to find two at once.
class Lifecycle_call {
 public:
  Lifecycle_call(unsigned shader, bool shader_level);
  ~Lifecycle_call();
  Lifecycle_call(Lifecycle_call const&) = delete;
  Lifecycle_call& operator=(Lifecycle_call const&) = delete;

 private:
  unsigned shader_;
  bool shader_level_;
};
#else
inline void report(unsigned, Finding, long long = 0, unsigned = no_parameter) {}
inline void shader_init_called(unsigned, bool) {}
inline void shader_exit_called(unsigned, bool) {}
inline void instance_call(unsigned, bool, bool) {}
struct Lifecycle_call {
  Lifecycle_call(unsigned, bool) {}
};
#endif

// The one way to write a check: reports `finding` unless `fine()`, with a
// number for its line (a value, or a callable that gives it) and the
// parameter it was found at, and answers
// whether it was fine, so that the caller mends what it must as the plain
// build would. The plain build never evaluates the condition, not even
// unoptimised, and its answer is always true.
template <class Fine, class Number = long long>
[[gnu::always_inline]] inline bool expect(Fine const& fine, unsigned shader, Finding finding,
                                          Number const& number = 0, unsigned parameter = no_parameter) {
  if constexpr (enabled) {
    if (!fine()) [[unlikely]] {
      if constexpr (std::is_invocable_v<Number const&>)
        report(shader, finding, static_cast<long long>(number()), parameter);
      else
        report(shader, finding, static_cast<long long>(number), parameter);
      return false;
    }
  }
  return true;
}

template <class T>
[[gnu::always_inline]] inline T answered(T answer, T marker, unsigned shader, Finding finding) {
  if constexpr (enabled)
    if (!expect([&] { return answer != marker; }, shader, finding)) return T{};
  return answer;
}

}  // namespace kvx::bridge::check
