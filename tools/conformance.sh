#!/usr/bin/env bash
# Builds and checks the library every way the project knows, then prints a
# conformance report: exported symbols, shaders checked on each path, the test
# suite plain and under AddressSanitizer + UndefinedBehaviorSanitizer and
# ThreadSanitizer, and each fuzz target. Exits non-zero if anything failed.
#
#   tools/conformance.sh            everything (what CI runs)
#   KVX_FUZZ_SECONDS=600 tools/conformance.sh    longer fuzzing
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
logs=build/conformance
mkdir -p "$logs"
passed=0
failed=0
declare -a rows

step() {  # step NAME COMMAND...: runs a step, its output both shown and kept
  local name=$1
  shift
  echo "==> $name: $*"
  if "$@" 2>&1 | tee "$logs/$name.log"; then
    rows+=("$name|pass")
    passed=$((passed + 1))
  else
    rows+=("$name|FAIL (see $logs/$name.log)")
    failed=$((failed + 1))
  fi
}

fuzz_seconds=${KVX_FUZZ_SECONDS:-30}

step tests cmake --workflow --preset default
step asan cmake --workflow --preset asan
step tsan cmake --workflow --preset tsan
step fuzz-build cmake --preset fuzz -DKVX_FUZZ_SECONDS="$fuzz_seconds"
step fuzz bash -c 'cmake --build --preset fuzz && ctest --preset fuzz'

# Figures from the plain run.
symbols=$(build/default/tests/kvx_tests --gtest_filter='Abi.ExportsExactlyTheInterface' 2>/dev/null |
  sed -n 's/^\[conformance\] //p')
paths=$(build/default/tests/kvx_tests --gtest_filter='Differential.*' 2>/dev/null | sed -n 's/^\[conformance\] //p')
fuzz_runs=$(grep -h "stat::number_of_executed_units" build/fuzz/Testing/Temporary/LastTest.log 2>/dev/null | awk '{s += $2} END {print s + 0}')

echo
echo "kvx base shaders: conformance"
printf '%-22s %s\n' "check" "result"
printf '%-22s %s\n' "----------------------" "------------------------------------------------"
printf '%-22s %s\n' "symbol table" "${symbols:-not measured}"
printf '%-22s %s\n' "both paths" "${paths:-not measured}"
for row in "${rows[@]}"; do printf '%-22s %s\n' "${row%%|*}" "${row#*|}"; done
printf '%-22s %s\n' "fuzz executions" "$fuzz_runs in ${fuzz_seconds}s per target"
echo
echo "conformance: $passed passed, $failed failed"
((failed == 0))
