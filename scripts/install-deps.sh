#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and the
# fuzz targets need, leaving alone what is already there.
set -euo pipefail

exec "$(dirname "$0")/install-missing.sh" cmake ninja-build g++ clang libclang-rt-14-dev \
     libgtest-dev libgmock-dev libbenchmark-dev util-linux nlohmann-json3-dev
