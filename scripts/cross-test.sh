#!/usr/bin/env bash
# Builds everything for an ARM board with warnings as errors and runs the test
# suite on this machine under qemu-user, the tests labelled slow left out:
#   scripts/cross-test.sh aarch64|armhf
# The build goes to build-<target>; the benchmarks and fuzz targets are not
# built. Prints the seconds that installing, building and testing took.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-}
case "$target" in
  aarch64) toolchain=cmake/toolchains/aarch64-linux-gnu.cmake ;;
  armhf) toolchain=cmake/toolchains/arm-linux-gnueabihf.cmake ;;
  *) echo "usage: $0 aarch64|armhf" >&2; exit 2 ;;
esac
build=build-$target
jobs=$(nproc)

start=$SECONDS
scripts/install-cross-deps.sh "$target"
installed=$SECONDS

cmake -S . -B "$build" -G Ninja --toolchain "$toolchain" -DTMODE_WERROR=ON \
      -DTMODE_BENCH=OFF -DTMODE_FUZZ=OFF >/dev/null
cmake --build "$build" -j "$jobs"
built=$SECONDS

# Emulated test processes are busy translating where native ones would wait:
# one per core, so that the timing tests keep their margins, and a test that
# fails is run once more before it counts (a fault fails both runs, a timing
# test that lost its core to the emulator for a moment passes the second).
(cd "$build" && ctest --output-on-failure --no-tests=error -j "$jobs" -LE slow --repeat until-pass:2)
tested=$SECONDS

echo "== $target: install $((installed - start)) s, build $((built - installed)) s," \
     "test $((tested - built)) s"
