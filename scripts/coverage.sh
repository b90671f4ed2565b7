#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Line and branch coverage of the library's own code (catalogue/, plugin/,
# bridge/, shaders/, math/) from a build made with the coverage preset, after
# its tests have run. Writes BUILD/coverage.txt (per file) and
# BUILD/coverage-summary.txt, and prints the summary.
#
#   cmake --workflow --preset coverage && scripts/coverage.sh build/coverage
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}
# bridge/interface/interface.h declares the host's objects: its placeholder slots are the
# host's to implement, never the library's to run. Branches the compiler adds
# for exception unwinding are not the library's either: every host exception
# path is tested, but gcov counts the landing pads of each inlined call apart.
gcovr --root . --object-directory "$build" \
  --filter 'catalogue/' --filter 'plugin/' --filter 'bridge/' --filter 'shaders/' --filter 'math/' \
  --exclude 'bridge/interface/interface\.h' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --txt "$build/coverage.txt" --print-summary | tee "$build/coverage-summary.txt"
