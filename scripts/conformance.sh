#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds and checks the library every way the project knows, then prints a
# conformance report: exported symbols, shaders checked on each path, the
# instruction sets the batches were compared on, the library alone in a root
# with only a compiler and CMake, the test suite plain, against the checked
# plug-in, under AddressSanitizer + UndefinedBehaviorSanitizer and
# ThreadSanitizer and with coverage (line and branch figures of the library's
# own code), and each fuzz target with its executions, rate and corpus.
# Exits non-zero if anything failed.
#
#   scripts/conformance.sh                           everything (what CI runs)
#   KVX_FUZZ_SECONDS=360 scripts/conformance.sh      a fuzzing campaign: 360 s a target
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
logs=build/conformance
mkdir -p "$logs"
passed=0
failed=0
declare -a rows

started=$SECONDS
step() {  # step NAME COMMAND...: runs a step, its output both shown and kept, and times it
  local name=$1 began=$SECONDS
  shift
  echo "==> $name: $*"
  if "$@" 2>&1 | tee "$logs/$name.log"; then
    rows+=("$name|pass in $(minutes $((SECONDS - began)))")
    passed=$((passed + 1))
  else
    rows+=("$name|FAIL in $(minutes $((SECONDS - began))) (see $logs/$name.log)")
    failed=$((failed + 1))
  fi
}
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

fuzz_seconds=${KVX_FUZZ_SECONDS:-30}

step tests cmake --workflow --preset default
step library-alone scripts/library_alone.sh
step checked cmake --workflow --preset checked
step asan cmake --workflow --preset asan
step tsan cmake --workflow --preset tsan
step coverage bash -c 'cmake --workflow --preset coverage && scripts/coverage.sh build/coverage'
step fuzz-build cmake --preset fuzz -DKVX_FUZZ_SECONDS="$fuzz_seconds"
step fuzz bash -c 'cmake --build --preset fuzz && ctest --preset fuzz'

# Figures from the plain run.
symbols=$(build/default/tests/kvx_tests --gtest_filter='Abi.ExportsExactlyTheInterface' 2>/dev/null |
  sed -n 's/^\[conformance\] //p')
paths=$(build/default/tests/kvx_tests --gtest_filter='Differential.*' 2>/dev/null | sed -n 's/^\[conformance\] //p')
targets=$(build/default/tests/kvx_tests --gtest_filter='Batch.NamesItsInstructionSetsAndRefusesOthers' 2>/dev/null |
  sed -n 's/^\[conformance\] //p')
coverage=$(sed -n 's/^\(lines\|branches\): /\1 /p' build/coverage/coverage-summary.txt 2>/dev/null | paste -sd ';' | sed 's/;/; /')
# Per fuzz target, from CTest's log: executions, executions per second, corpus.
fuzz_rows=$(awk '
  / Test: fuzz_/ { name = $NF; sub(/^fuzz_/, "", name) }
  /stat::number_of_executed_units:/ { runs[name] = $2 }
  /stat::average_exec_per_sec:/ { rate[name] = $2 }
  /DONE .*corp: / { match($0, /corp: [0-9]+/); corpus[name] = substr($0, RSTART + 6, RLENGTH - 6) }
  END { for (n in runs) printf "fuzz %s|%d runs, %d/s, corpus %d\n", n, runs[n], rate[n], corpus[n] }
' build/fuzz/Testing/Temporary/LastTest.log 2>/dev/null | sort)

echo
echo "kvx base shaders: conformance"
printf '%-22s %s\n' "check" "result"
printf '%-22s %s\n' "----------------------" "------------------------------------------------"
printf '%-22s %s\n' "symbol table" "${symbols:-not measured}"
printf '%-22s %s\n' "both paths" "${paths:-not measured}"
printf '%-22s %s\n' "batch targets" "${targets:-not measured}"
printf '%-22s %s\n' "coverage" "${coverage:-not measured}"
for row in "${rows[@]}"; do printf '%-22s %s\n' "${row%%|*}" "${row#*|}"; done
while IFS= read -r row; do
  [ -n "$row" ] && printf '%-22s %s\n' "${row%%|*}" "${row#*|} in ${fuzz_seconds} s"
done <<< "$fuzz_rows"
echo
echo "conformance: $passed passed, $failed failed, in $(minutes $((SECONDS - started)))"
((failed == 0))
