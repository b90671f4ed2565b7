#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Makes the golden record anew: every shader's digest over the golden test's
# inputs (tests/golden_test.cpp), written to tests/golden/shaders.txt. Run it
# only when the library's bits change on purpose, and say why in the change;
# `git diff tests/golden` then names the shaders whose bits moved.
#
#   scripts/golden.sh [BUILD_DIR]        default build/default
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target kvx_tests
KVX_GOLDEN_WRITE=1 "$build/tests/kvx_tests" --gtest_filter='Golden.*' --gtest_brief=1
git diff --stat -- tests/golden || true
