// The shader-level and instance-level init and exit, compiled once for every
// shader.
#include <bridge/lifecycle.h>

namespace kvx {
namespace {

void** instance_slot(Host_state* state) {
  void** slot = nullptr;
  zr_query(QUERY_INSTANCE_SLOT, state, 0, &slot);
  return slot;
}

}  // namespace

void lifecycle_init(Host_state* state, void* parameters, std::int32_t* instance_init_request,
                    ZR::SHADER::Software_shader_plugin*& kept, Make_plugin make) {
  if (!parameters) {
    // Shader level: ask for the per-instance inits, then keep a fresh plug-in.
    // One left by an init without exit is destroyed rather than leaked.
    if (instance_init_request) *instance_init_request = 1;
    ZR::SHADER::Software_shader_plugin* fresh = make();
    delete kept;
    kept = fresh;
    return;
  }
  void** slot = instance_slot(state);
  if (!slot) return;
  auto* record = new Shader_instance_record{parameters, nullptr};
  *slot = record;
  if (kept) record->shader = kept->new_instance(nullptr, nullptr);
}

void lifecycle_exit(Host_state* state, void* parameters, ZR::SHADER::Software_shader_plugin*& kept) {
  if (!parameters) {
    delete kept;
    kept = nullptr;
    return;
  }
  // The slot is cleared, so a second exit of the same instance finds nothing.
  void** slot = instance_slot(state);
  if (!slot || !*slot) return;
  auto* record = static_cast<Shader_instance_record*>(*slot);
  if (record->shader) record->shader->release();
  delete record;
  *slot = nullptr;
}

}  // namespace kvx
