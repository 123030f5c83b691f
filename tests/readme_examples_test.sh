#!/usr/bin/env bash
# Runs every example command of the README (the indented lines that start
# with build/) as written, in order, against this build:
#   readme_examples_test.sh README.md BUILD_DIR [EMULATOR WORDS...]
# In a cross build the emulator's words go before every program of the build.
# A line ending in "&" starts a simulator that prints its node; the next
# lines use that node where the README shows /dev/pts/4 or /tmp/ctl.sock.
# Every other line must exit 0 and print the controller's information.
set -uo pipefail
readme=$1
build=$2
shift 2
emulator="$*"
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

node=""
count=0
while IFS= read -r line; do
  command=${line#    }
  command=${command%%#*}
  command=$(echo "$command" | sed -e "s#\(^\| \)build/#\1${emulator:+$emulator }$build/#g" \
                                  -e "s#/tmp/ctl.sock#$scratch/ctl.sock#g")
  [ -n "$node" ] && command=${command//\/dev\/pts\/4/$node}
  count=$((count + 1))
  echo "-- $line"
  if [[ $command =~ \&[[:space:]]*$ ]]; then
    command=${command%&*}
    out="$scratch/background$count"
    bash -c "exec $command" >"$out" 2>"$out.err" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
    node=$(head -n 1 "$out")
    [ -e "$node" ] || fail "no node printed by: $line"
    continue
  fi
  output=$(bash -c "$command" 2>&1) || fail "exit status $? from: $line"$'\n'"$output"
  echo "$output"
  grep -q "Controller Info:" <<<"$output" || fail "no controller information from: $line"
  if [[ $line == *"-s 1"* ]]; then
    grep -q "Switch Touch Mode:\[Threshold-1\] Success" <<<"$output" || fail "no switch: $line"
  fi
done < <(grep -E '^    build/' "$readme")

[ "$count" -ge 5 ] || fail "only $count examples found in $readme"
echo "$count examples ran"
