#!/usr/bin/env bash
# Installs what a cross build for an ARM board and its emulated test run need,
# leaving alone what is already there:
#   scripts/install-cross-deps.sh aarch64 armhf
# For each target: Debian's cross compiler (which brings the target's C and
# C++ runtime as a sysroot under /usr/<triplet>), qemu-user to run the target's
# programs, and the GoogleTest sources that the cross build compiles for the
# target. No binfmt registration is installed: the tests start every target
# program through the emulator themselves.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 aarch64|armhf..." >&2
  exit 2
fi

packages=(cmake ninja-build qemu-user googletest)
for target in "$@"; do
  case "$target" in
    aarch64) packages+=(g++-aarch64-linux-gnu) ;;
    armhf) packages+=(g++-arm-linux-gnueabihf) ;;
    *) echo "unknown target: $target (aarch64 or armhf)" >&2; exit 2 ;;
  esac
done
exec "$(dirname "$0")/install-missing.sh" "${packages[@]}"
