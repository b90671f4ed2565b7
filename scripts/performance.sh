#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Measures the library: build time, size, exported symbols and relocations,
# cost per call of the C entries and shader objects against their floors
# (Google Benchmark, then instruction counts under callgrind), fast_pow2
# against exp2f, loading, every shader in batches (docs/batch-throughput.md),
# and the host's share of network shading. Method and
# figures: docs/performance.md; every shader's instruction ratios are written to
# docs/instruction-counts.md.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default > /dev/null
lib=build/default/libkvx_base.so

echo "== clean build of the plug-in on $(nproc) cores"
cmake --build --preset default --target clean > /dev/null
start=$(date +%s.%N)
cmake --build --preset default --target kvx_base > /dev/null
end=$(date +%s.%N)
printf 'build time: %.1f s\n' "$(echo "$end - $start" | bc)"
cmake --build --preset default > /dev/null  # everything again, the tests included

echo "== the library file"
printf 'size: %s bytes (%s)\n' "$(stat -c %s "$lib")" "$(size -A "$lib" | awk '/^\.text/ {t=$2} /^\.data\.rel\.ro/ {r=$2} END {printf "text %d, data.rel.ro %d", t, r}')"
printf 'exported symbols: %s\n' "$(nm -D --defined-only "$lib" | wc -l)"
printf 'dynamic relocations: %s (%s relative)\n' "$(readelf -rW "$lib" | grep -c '^[0-9a-f]\{16\}')" \
  "$(readelf -rW "$lib" | grep -c R_X86_64_RELATIVE)"

echo "== time per call against the floor (Google Benchmark)"
build/default/bench/kvx_bench --benchmark_min_time="${KVX_BENCH_MIN_TIME:-0.2}" --benchmark_color=false

echo "== every shader in batches against its C entry"
build/default/bench/kvx_batch_table --table docs/batch-throughput.md | head -1

echo "== instructions per call against the floor (callgrind)"
python3 scripts/instructions.py build/default 1000 --table docs/instruction-counts.md

echo "== kvx-host shade per shader call: the library's instructions and the host's, per example network"
python3 scripts/host_split.py build/default

echo "== network shading from Python against kvx-host shade"
python=$(sed -n 's/^_\?Python3_EXECUTABLE:[A-Z]*=//p' build/default/CMakeCache.txt | head -1)
if [ -n "$python" ] && [ -d build/default/python ]; then
  PYTHONPATH=build/default/python "$python" scripts/python_throughput.py examples/rings.kvx build/default/kvx-host
else
  echo "the Python module is not built"
fi
