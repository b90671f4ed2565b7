// SPDX-License-Identifier: Apache-2.0
// The tests' host: the reference host, recording every call the library makes
// back in order, and able to make any chosen call throw or answer as a faulty
// host would. It watches the reference host's four C functions for its own
// records, and so sees every call.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include <host/data_block.h>
#include <host/reference_host.h>

namespace kvx::test {

enum class Call : std::uint8_t {
  // C functions
  query, phen_eval, shaderstate_set, get_interface,
  // Runtime_interface
  interface_release, get_state,
  // State
  state_int, state_float, state_float2, state_float3, state_float4, shadow_weight,
  tex1d, tex2d, tex3d, texcube, render_settings, state_release, host_state, output_requests,
  // Render_settings, Camera_settings
  render_int, render_float, camera, camera_int, camera_float, camera_float2,
  // Data_block
  lookup, notify_output,
};
std::string_view name(Call call);
inline constexpr unsigned call_kinds = static_cast<unsigned>(Call::notify_output) + 1;

// One host call: which, the id or code it was asked, the address it was given
// (a parameter slot, a record) and the name or key it was given, if any.
struct Call_record {
  Call call;
  int id = 0;
  void const* address = nullptr;
  std::array<char, 24> name{};  // copied, truncated: recording never allocates

  std::string_view name_view() const { return {name.data()}; }
};

// Thrown by a host call chosen with fail_on. Allocates nothing, so tests can
// count what the library allocates while an exception passes.
struct Host_failure : std::exception {
  explicit Host_failure(Call c) : call(c) {}
  char const* what() const noexcept override { return "host call failed as asked"; }
  Call call;
};

class Recording_host : public host::Reference_host, public host::Host_calls {
 public:
  // Room for `call_capacity` records is reserved up front, so that recording
  // allocates nothing while the library runs. The default holds any one
  // evaluation many times over and stays cheap to make, which matters to tests
  // and fuzz targets that make a fresh host per evaluation.
  static constexpr std::size_t default_call_capacity = 1 << 10;
  explicit Recording_host(std::size_t call_capacity = default_call_capacity);
  ~Recording_host() override;

  // Calls, in the order the library made them.
  std::vector<Call_record> const& calls() const { return calls_; }
  std::size_t count(Call call) const;
  void clear_calls() { calls_.clear(); }
  // The nth call of this kind from now on throws Host_failure (before it acts).
  void fail_on(Call call, int nth = 1) { failures_[static_cast<unsigned>(call)] = nth; }
  // The nth call of any kind from now on throws Host_failure.
  void fail_at(int nth) { fail_countdown_ = nth; }
  // Runs at every call, after it is recorded and before it acts or throws.
  void on_call(std::function<void(Call_record const&)> observer) { observer_ = std::move(observer); }
  // Off: calls are no longer recorded.
  void set_recording(bool on) { recording_ = on; }

  // Faulty answers. Without an instance slot, code 51 answers null; a host
  // that cannot evaluate a connection answers zr_phen_eval with null.
  void set_instance_slot_available(bool available) { instance_slot_available_ = available; }
  void set_evaluation_fails(bool fails) { evaluation_fails_ = fails; }
  // Calls of this kind answer null (get_interface, get_state, host_state,
  // render_settings, camera), as the interface forbids or allows.
  void answer_null(Call call) { null_answers_[static_cast<unsigned>(call)] = true; }
  bool answers_null(Call call) const { return null_answers_[static_cast<unsigned>(call)]; }
  // zr_query with this code returns without writing its answer.
  void leave_unanswered(int code) { unanswered_query_ = code; }
  // get_host_state answers a record other than the one handed to the entry.
  host::Host_state_record& evaluation_record() { return *evaluation_; }
  void separate_evaluation_record() { evaluation_ = &second_record_; }

  // Records a call, throwing first if it was chosen to fail.
  void record_call(Call call, int id = 0, void const* address = nullptr, char const* name = nullptr);

  ZR::SHADER::State* state() override;
  // The host's C functions with this host's records: each call recorded, then
  // answered as the reference host answers, or as a faulty host would.
  ZR::SHADER::Runtime_interface* get_korvex_interface(int version) override;
  int query(int code, ::Host_state* record, void* answer) override;
  void* phen_eval(::Host_state* record, void* slot) override;
  int shaderstate_set(::Host_state* record, char const* key, void const* data, int size, int mode) override;

 private:
  struct Camera;
  struct Render;
  struct State;
  struct Runtime;
  struct Objects;

  std::vector<Call_record> calls_;
  std::array<int, call_kinds> failures_{};  // countdown per call kind; 0: never fail
  int fail_countdown_ = 0;
  bool recording_ = true;
  bool instance_slot_available_ = true;
  bool evaluation_fails_ = false;
  std::array<bool, call_kinds> null_answers_{};
  int unanswered_query_ = -1;
  std::function<void(Call_record const&)> observer_;
  host::Host_state_record second_record_{*this};
  host::Host_state_record* evaluation_ = &record();
  std::shared_ptr<Objects> objects_;
};

// A data block that records its calls in a test host.
class Block : public host::Block {
 public:
  explicit Block(Recording_host* host = nullptr) : host_(host) {}
  void* lookup(char const* name) override;
  int notify_output(char const* name) override;

 private:
  Recording_host* host_;
};

}  // namespace kvx::test
