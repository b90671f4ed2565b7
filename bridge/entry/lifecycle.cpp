// SPDX-License-Identifier: Apache-2.0
// The shader-level and instance-level init and exit, compiled once for every
// shader.
#include <bridge/entry/lifecycle.h>

#include <bridge/check/check.h>

namespace kvx::bridge {
namespace {

void** instance_slot(Host_state* state, unsigned shader) {
  void** slot = check::enabled ? check::unwritten_slot() : nullptr;
  zr_query(QUERY_INSTANCE_SLOT, state, 0, &slot);
  check::expect([&] { return slot != nullptr; }, shader, check::Finding::null_instance_slot);
  return check::answered(slot, check::unwritten_slot(), shader, check::Finding::slot_unwritten);
}

}  // namespace

void lifecycle_init(Host_state* state, void* parameters, std::int32_t* instance_init_request,
                    ZR::SHADER::Software_shader_plugin*& kept, Make_plugin make, unsigned shader) {
  [[maybe_unused]] check::Lifecycle_call const busy(shader, !parameters);
  if (!parameters) {
    check::shader_init_called(shader, kept != nullptr);
    // Shader level: ask for the per-instance inits, then keep a fresh plug-in.
    // One left by an init without exit is destroyed rather than leaked.
    if (instance_init_request) *instance_init_request = 1;
    ZR::SHADER::Software_shader_plugin* fresh = make();
    delete kept;
    kept = fresh;
    return;
  }
  check::instance_call(shader, kept != nullptr, true);
  void** slot = instance_slot(state, shader);
  if (!slot) return;
  auto* record = new Shader_instance_record{parameters, nullptr};
  *slot = record;
  if (kept) record->shader = kept->new_instance(nullptr, nullptr);
}

void lifecycle_exit(Host_state* state, void* parameters, ZR::SHADER::Software_shader_plugin*& kept,
                    unsigned shader) {
  [[maybe_unused]] check::Lifecycle_call const busy(shader, !parameters);
  if (!parameters) {
    check::shader_exit_called(shader, kept != nullptr);
    delete kept;
    kept = nullptr;
    return;
  }
  // The slot is cleared, so a second exit of the same instance finds nothing.
  check::instance_call(shader, kept != nullptr, false);
  void** slot = instance_slot(state, shader);
  if (!slot) return;
  check::expect([&] { return *slot != nullptr; }, shader, check::Finding::instance_exit_without_init);
  if (!*slot) return;
  auto* record = static_cast<Shader_instance_record*>(*slot);
  if (record->shader) record->shader->release();
  delete record;
  *slot = nullptr;
}

}  // namespace kvx::bridge
