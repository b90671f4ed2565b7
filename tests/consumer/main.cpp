// SPDX-License-Identifier: Apache-2.0
// Compiles against the installed host interface and catalogue headers.
#include <bridge/interface.h>
#include <catalogue/catalogue.h>
#include <plugin/plugin.h>

int main() {
  static_assert(kvx::catalogue::shader_count == 402);
  ZR::PLUG::Plugin* (*initializer)(unsigned) = nullptr;
  return initializer == nullptr && KVX_PLUGIN[0] == '/' ? 0 : 1;
}
