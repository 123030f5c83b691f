#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds a small application
# against it twice, through find_package(tmode) and through pkg-config; each
# build opens a link to the installed tmode-sim and reads the touch mode.
# Also checks that tmodectl needs only the C++ runtime, libc and pthreads,
# and that the Debian package holds what the install does.
#   scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

# Runs a step quietly; when it fails, shows what it printed.
quiet() {
  local out
  if ! out=$("$@" 2>&1); then
    printf '%s\n' "$out"
    echo "failed: $*"
    exit 1
  fi
}

quiet cmake --install "$build" --prefix "$prefix"
for file in bin/tmodectl bin/tmode-sim bin/tmode include/tmode/tmode.h share/man/man1/tmodectl.1 \
            share/man/man1/tmode-sim.1 share/man/man1/tmode.1 share/bash-completion/completions/tmode \
            lib/udev/rules.d/70-tmode-controller.rules; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
for private in link/link_session.h link/node_access.h library/library_state.h; do
  [ ! -e "$prefix/include/tmode/$private" ] || { echo "internal header installed: $private"; exit 1; }
done

needed=$(readelf -d "$prefix/bin/tmodectl" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for library in $needed; do
  case $library in
    libstdc++.so.*|libm.so.*|libgcc_s.so.*|libc.so.*|libpthread.so.*|ld-linux*) ;;
    *) echo "tmodectl needs $library"; exit 1 ;;
  esac
done

expect_mode() {  # program, how it was built
  local out
  out=$("$prefix/bin/tmode-sim" --mode 3 -- "$1" '{}')
  [ "$out" = "touch mode 3" ] || { echo "$2: got '$out'"; exit 1; }
  # grep reads all of ldd's output: an early exit could end ldd with SIGPIPE.
  ldd "$1" | grep "libtmode.so.1 => $prefix" >/dev/null || { echo "$2: not linked to the installed libtmode.so.1"; exit 1; }
  echo "$2: $out"
}

quiet cmake -S tests/install_app -B "$scratch/cmake-app" -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
quiet cmake --build "$scratch/cmake-app"
expect_mode "$scratch/cmake-app/read_mode" "find_package"

pc=$(find "$prefix" -name tmode.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir tmode)
# shellcheck disable=SC2046
quiet c++ -std=c++20 -o "$scratch/pc-read_mode" tests/install_app/read_mode.cpp \
    $(pkg-config --cflags --libs tmode) -Wl,-rpath,"$libdir"
expect_mode "$scratch/pc-read_mode" "pkg-config"

(cd "$build" && quiet cpack -G DEB)
deb=$(ls -t "$build"/tmode_*.deb | head -n 1)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/tmodectl ./usr/bin/tmode-sim ./usr/bin/tmode ./usr/include/tmode/tmode.h \
            ./usr/lib/udev/rules.d/70-tmode-controller.rules ./usr/share/man/man1/tmodectl.1; do
  grep -q " $file\$" <<<"$contents" || { echo "$(basename "$deb") lacks $file"; exit 1; }
done
grep -q "libtmode.so.1" <<<"$contents" || { echo "$(basename "$deb") lacks libtmode.so.1"; exit 1; }
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
