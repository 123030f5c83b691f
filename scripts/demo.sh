#!/usr/bin/env bash
# Installs what is missing, builds, and runs `tmodectl -g -s 1` against the
# simulated controller: the information block, the mode in force, the switch.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Leaves the build's options as they are, so that scripts/test.sh finds its
# tests afterwards; only the two programs are built.
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tmodectl tmode-sim
build/sim/tmode-sim -- build/app/tmodectl -g -s 1 -p {}
