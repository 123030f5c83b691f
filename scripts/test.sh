#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# runs the whole test suite, the slow timing tests included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTMODE_WERROR=ON >/dev/null
cmake --build build
cd build && ctest --output-on-failure -j 8
