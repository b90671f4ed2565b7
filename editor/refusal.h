// SPDX-License-Identifier: Apache-2.0
// A request the live editor's server refuses: the HTTP status it answers
// with, and the message, which the page shows as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace kvx::editor {

struct Refusal : std::runtime_error {
  Refusal(int status, std::string const& message) : std::runtime_error(message), status(status) {}
  int status;
};

}  // namespace kvx::editor
