// SPDX-License-Identifier: Apache-2.0
// The host's C functions, as the plug-in imports them. Each finds its
// Reference_host, or what it answers, from the record it is given;
// zr_get_korvex_interface, given none, answers the process's one runtime
// interface, which finds the State from the record it is then given. A record
// with a watcher (Host_calls) hands the call to it instead.
#include <cstdarg>

#include <host/reference_host.h>

extern "C" {

int zr_query(int code, Host_state* state, int zero, ...) {
  va_list arguments;
  va_start(arguments, zero);
  void* answer = va_arg(arguments, void*);
  va_end(arguments);
  auto& record = kvx::host::Host_state_record::of(state);
  if (auto* watcher = record.watcher()) [[unlikely]] return watcher->query(code, state, answer);
  return record.query(code, answer);
}

void* zr_phen_eval(Host_state* state, void* parameter) {
  if (auto* watcher = kvx::host::Host_state_record::of(state).watcher()) [[unlikely]]
    return watcher->phen_eval(state, parameter);
  return kvx::host::Host_state_record::owner(state).phen_eval(state, parameter);
}

int zr_shaderstate_set(Host_state* state, char const* key, void const* data, int size, int mode) {
  if (auto* watcher = kvx::host::Host_state_record::of(state).watcher()) [[unlikely]]
    return watcher->shaderstate_set(state, key, data, size, mode);
  return kvx::host::Host_state_record::owner(state).shaderstate_set(state, key, data, size, mode);
}

ZR::SHADER::Runtime_interface* zr_get_korvex_interface(int version) {
  using kvx::host::Reference_host;
  if (Reference_host::watched()) [[unlikely]]
    if (auto* watcher = Reference_host::current().record().watcher()) return watcher->get_korvex_interface(version);
  return Reference_host::get_korvex_interface(version);
}
}
