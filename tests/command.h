// SPDX-License-Identifier: Apache-2.0
// Running kvx-host as a user does: a shell command line, stdout and stderr
// together, the exit status.
#pragma once

#include <string>

namespace kvx::test {

struct Command_run {
  int status;
  std::string output;  // stdout and stderr
};

// A shell command line, stderr with stdout.
Command_run run_shell(std::string const& command);

// kvx-host with these arguments (shell words).
Command_run kvx_host(std::string const& arguments);

// A file's bytes; empty when it cannot be read.
std::string file_bytes(std::string const& path);

// How often needle occurs in text.
std::size_t count(std::string const& text, std::string const& needle);

}  // namespace kvx::test
