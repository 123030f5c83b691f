#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs the whole test suite, the slow timing tests included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Every option the run depends on is set, whatever the build directory's
# cache holds from an earlier configuration; a run that finds no tests fails.
cmake -S . -B build -G Ninja -DTMODE_WERROR=ON -DTMODE_TESTS=ON -DTMODE_BENCH=ON >/dev/null
cmake --build build
cd build && ctest --output-on-failure --no-tests=error -j 8
