// SPDX-License-Identifier: Apache-2.0
// The benchmark's calls, made for callgrind: every shader's C entry and its
// floor, in each mode, run `calls` times between a zeroing and a dump of
// callgrind's counters named after the case.
// scripts/instructions.py runs this under valgrind and prints instructions per
// call, for the library's own code and for the floor's.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cases.h"

int main(int argc, char** argv) {
  using namespace kvx::bench;
  int const calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  kvx::host::Library library;
  for (auto const& c : all_cases()) {
    std::string const shader(c.row->name);
    auto* entry = library.function<Entry>(shader.c_str());
    for (Mode mode : {Mode::plain, Mode::gather, Mode::gather_list}) {
      for (bool floor : {false, true}) {
        Entry* call = floor ? c.floor[int(mode)] : entry;
        Bench_host b(*c.row, mode);
        alignas(16) unsigned char result[16];
        for (int i = 0; i < 16; ++i) call(result, b.host.record().get(), b.parameters.params());  // resolve, warm
        std::string const name = std::string(floor ? "floor/" : "entry/") + shader + "/" + mode_names[int(mode)];
        CALLGRIND_ZERO_STATS;
        for (int i = 0; i < calls; ++i) call(result, b.host.record().get(), b.parameters.params());
        CALLGRIND_DUMP_STATS_AT(name.c_str());
      }
    }
  }
  std::printf("%d calls per case\n", calls);
}
