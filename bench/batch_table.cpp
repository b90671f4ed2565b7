// SPDX-License-Identifier: Apache-2.0
// Points a second of every shader through the batch library against calls a
// second of its C entry, on one thread: runs of 1024 points of packed arrays,
// and one point a call with the parameters as constants in the block. Writes
// the table of docs/batch-throughput.md (median, slowest, and which shaders
// run their points one at a time, and why).
//
//   kvx_batch_table [--table FILE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#define KVX_BATCH_TARGET sse2  // for the kernels' classification, a compile-time table
#include <shaders/batch/kernels.h>
#undef KVX_BATCH_TARGET

#include <host/batch_library.h>
#include <host/library.h>
#include <network/batch_shading.h>

#include "cases.h"

namespace kvx::bench {
namespace {

using Clock = std::chrono::steady_clock;

// How a shader's points are computed in batches.
template <std::size_t... I>
std::vector<std::string> ways(std::index_sequence<I...>) {
  auto way = []<unsigned Index>() -> std::string {
    using Of = shaders::batch::sse2::Kernel_of<Index>;
    catalogue::Shader const& row = catalogue::shaders[Index];
    if (row.source != catalogue::Source::none) return "copies the host's values";
    if (row.operation.starts_with("tex")) return "the host's lookups, a run at a time";
    if (Of::library_call)
      return row.operation == "sin" || row.operation == "fmod" ? "vector form of the C library's"
                                                               : "the C library's function, a component at a time";
    if (Of::exists) return "vector kernel";
    bool const integer_arithmetic =
        kind(row.type) == catalogue::Kind::integer && (row.operation == "divide" || row.operation == "pow");
    return integer_arithmetic ? "one point at a time: no vector form of this integer arithmetic"
                              : "one point at a time: a selection or reduction over bytes, as cheap so";
  };
  return {way.template operator()<I>()...};
}

// Points a second, best of five timings of enough calls to take 5 ms.
template <class Run>
double rate(Run const& run, std::size_t points_a_call) {
  double best = 0;
  for (int trial = 0; trial < 5; ++trial) {
    std::size_t calls = 0;
    auto const start = Clock::now();
    double seconds = 0;
    do {
      for (int i = 0; i < 64; ++i) run();
      calls += 64;
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 0.005);
    best = std::max(best, double(calls * points_a_call) / seconds);
  }
  return best;
}

// Values of a type over n points: at every point those the C entry is timed
// with (bench/cases.h), so both meet the same inputs.
std::vector<unsigned char> values(catalogue::Type type, std::size_t n) {
  float const floats[4] = {0.25f, 1.5f, -0.75f, 1};
  std::int32_t const ints[4] = {3, 7, 1, 1};
  std::size_t const width = catalogue::width(type);
  std::vector<unsigned char> bytes(n * width, 1);  // truth values: true, as 3 reads
  if (kind(type) != catalogue::Kind::truth)
    for (std::size_t i = 0; i < n; ++i)
      std::memcpy(&bytes[i * width], kind(type) == catalogue::Kind::real ? static_cast<void const*>(floats) : ints,
                  width);
  return bytes;
}

}  // namespace
}  // namespace kvx::bench

int main(int argc, char** argv) {
  using namespace kvx;
  using namespace kvx::bench;
  std::string table_file;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--table") table_file = argv[i + 1];
  host::Library library;
  host::Batch_library const& batch = network::batch_library();
  auto const how = ways(std::make_index_sequence<catalogue::shader_count>{});
  host::Reference_host texture_host;
  kvx_batch_host const lookups = network::batch_host(texture_host);

  struct Row {
    std::string name, way;
    double batch, entry;
  };
  std::vector<Row> rows;
  constexpr std::size_t n = 1024;
  for (auto const& row : catalogue::shaders) {
    std::vector<std::vector<unsigned char>> inputs;
    std::vector<kvx_batch_values> parameters;
    if (row.source != catalogue::Source::none) {
      inputs.push_back(values(row.result == catalogue::Type::bool_ ? catalogue::Type::int_ : row.result, n));
    } else {
      for (auto const& p : row.parameters()) inputs.push_back(values(p.type, n));
    }
    for (std::size_t k = 0; k < inputs.size(); ++k) {
      auto const type = row.source != catalogue::Source::none
                            ? (row.result == catalogue::Type::bool_ ? catalogue::Type::int_ : row.result)
                            : row.parameter_list[k].type;
      parameters.push_back({inputs[k].data(), static_cast<std::ptrdiff_t>(catalogue::width(type))});
    }
    std::vector<unsigned char> out(n * 16);
    kvx_batch_function* const function = batch.function(row.index);
    double const batch_rate = rate(
        [&] {
          function(&lookups, n, parameters.data(), {out.data(), static_cast<std::ptrdiff_t>(catalogue::width(row.result))});
        },
        n);
    Bench_host b(row, Mode::plain);
    auto* const entry = library.function<Entry>(std::string(row.name).c_str());
    alignas(16) unsigned char result[16];
    double const entry_rate = rate([&] { entry(result, b.host.record().get(), b.parameters.params()); }, 1);
    rows.push_back({std::string(row.name), how[row.index], batch_rate, entry_rate});
  }

  std::vector<double> ratios;
  for (auto const& r : rows) ratios.push_back(r.batch / r.entry);
  std::vector<double> sorted = ratios;
  std::sort(sorted.begin(), sorted.end());
  auto const slowest = std::min_element(rows.begin(), rows.end(), [](Row const& a, Row const& b) { return a.batch < b.batch; });
  std::ostringstream text;
  char line[256];
  std::snprintf(line, sizeof line, "Instruction set: %s. Median batch/C entry: %.1f times the C entry's rate; "
                "slowest batch: %s, %.3g points/s.\n\n", batch.target(), sorted[sorted.size() / 2],
                slowest->name.c_str(), slowest->batch);
  text << line << "| shader | batch points/s | C entry calls/s | ratio | how the batch computes |\n|---|---:|---:|---:|---|\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::snprintf(line, sizeof line, "| %s | %.3g | %.3g | %.1f | %s |\n", rows[i].name.c_str(), rows[i].batch,
                  rows[i].entry, ratios[i], rows[i].way.c_str());
    text << line;
  }
  std::fputs(text.str().c_str(), stdout);
  if (!table_file.empty()) {
    std::ofstream out(table_file);
    out << "# Every shader in batches\n\n"
           "Made by `build/default/bench/kvx_batch_table --table docs/batch-throughput.md` "
           "(`scripts/performance.sh`): each shader's batch function over runs of 1024 points of packed arrays, "
           "against its C entry one point a call, on one thread, best of five. "
           "See [performance.md](performance.md#batches).\n\n"
        << text.str();
  }
  return 0;
}
