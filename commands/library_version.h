// SPDX-License-Identifier: Apache-2.0
// What the loaded library says of itself, for --version and the gallery page.
#pragma once

#include <string>

#include <host/library.h>

namespace kvx::commands {

// "402 shaders, plug-in version 2 (compiler korvex), C interface version 4":
// the factory's count, and the versions its first plug-in and that shader's C
// entries give.
std::string library_version(host::Library const& library);

}  // namespace kvx::commands
