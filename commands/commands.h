// SPDX-License-Identifier: Apache-2.0
// The kvx-host commands. Each adds itself to the command line, with its
// options and their help; when the command line chooses it, it leaves in
// `run` the work to do. The work returns the process exit status: 0 done, 1
// the library failed to load or to answer, or the two paths differed, 2 the
// command line or the input was wrong.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

namespace kvx::commands {

using Run = std::function<int()>;

void add_list(CLI::App& app, Run& run);
void add_describe(CLI::App& app, Run& run);
void add_eval(CLI::App& app, Run& run);
void add_render(CLI::App& app, Run& run);
void add_shade(CLI::App& app, Run& run);
void add_gallery(CLI::App& app, Run& run);
void add_serve(CLI::App& app, Run& run);
void add_completion(CLI::App& app, Run& run);

}  // namespace kvx::commands
