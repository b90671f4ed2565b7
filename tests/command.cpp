// SPDX-License-Identifier: Apache-2.0
#include "command.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace kvx::test {

Command_run run_shell(std::string const& command_line) {
  std::string const command = command_line + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  Command_run run{-1, {}};
  if (!pipe) return run;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
  int const raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

Command_run kvx_host(std::string const& arguments) { return run_shell(std::string(KVX_HOST_PATH) + " " + arguments); }

std::string file_bytes(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t count(std::string const& text, std::string const& needle) {
  std::size_t n = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace kvx::test
