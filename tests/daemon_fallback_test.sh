#!/bin/sh
# tmodectl falls back to the controller daemon's socket at its real path,
# /dev/socket/kalo_socket, when the node it is given cannot be opened. The
# socket is served by tmode-sim inside a private mount namespace, on a tmpfs
# over /dev, so the machine's own /dev is never touched. Words after the two
# programs are the emulator that starts them in a cross build.
tmodectl=$1
sim=$2
shift 2
if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null 2>&1; then
  echo "skipped: needs root and unshare for a private mount namespace"
  exit 77
fi

expected=$(printf 'Controller Info:\n\tType Name:\tPlovex PCT\n\tModel Name:\tPLVX-6300\n\tFW Version:\t6300.1.02\n\nCurrent Touch Mode:[Threshold-2]\nSwitch Touch Mode:[Threshold-1] Success')

actual=$(unshare -m --propagation private sh -c '
  mount -t tmpfs tmpfs /dev || exit 90
  mkdir /dev/socket || exit 91
  sim=$1 tmodectl=$2
  shift 2
  exec "$@" "$sim" --socket /dev/socket/kalo_socket --mode 2 -- "$@" "$tmodectl" -p /dev/no_such_node -g -s 1
' sh "$sim" "$tmodectl" "$@")
status=$?

if [ "$status" != 0 ]; then
  echo "exit status $status, expected 0"
  printf '%s\n' "$actual"
  exit 1
fi
if [ "$actual" != "$expected" ]; then
  echo "output differs:"
  printf '%s\n' "$actual"
  exit 1
fi
echo "ok: the tool reached the simulated daemon through /dev/socket/kalo_socket"
