#!/usr/bin/env bash
# The code a suppressed PDULOG site compiles to on each Linux processor, and its time: for
# each build given (default: native, linux-arm64, linux-armhf), a program built against
# that build's installed package with the build's own compiler at -O2, its site disassembled,
# then run (through qemu for another processor: a sanity figure only, emulated time is no
# measure). Each build must be built first (cmake --workflow --preset NAME).
#   bench/gate-code.sh [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for preset in "${@:-native linux-arm64 linux-armhf}"; do
  for name in $preset; do
    build=build
    [ "$name" = native ] || build=build-$name
    [ -f "$build/CMakeCache.txt" ] || { echo "$name: build it first (cmake --workflow --preset $name)"; exit 1; }
    cxx=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -1)
    triplet=$("$cxx" -dumpmachine)
    case $triplet in  # as the toolchain files in cmake/ run them
      aarch64-*) emulator="qemu-aarch64 -L /usr/$triplet" ;;
      arm-*) emulator="qemu-arm -L /usr/$triplet" ;;
      *) emulator="" ;;
    esac
    cmake --install "$build" --prefix "$work/$name" > /dev/null
    flags=$(PKG_CONFIG_LIBDIR=$work/$name/lib/pkgconfig pkg-config --cflags --libs --static pdulog)
    # shellcheck disable=SC2086  # the flags are words
    "$cxx" -std=c++17 -O2 bench/gate_site.cpp bench/BenchStore.cpp $flags -o "$work/gate-$name"
    echo "== $name ($triplet)"
    objdump=${cxx%g++}objdump
    command -v "$objdump" > /dev/null || objdump=objdump
    "$objdump" -d --no-show-raw-insn -C "$work/gate-$name" \
      | awk '/<SuppressedSite\(int\)>:$/ { on = 1 } on && /^$/ { on = 0 } on'
    # shellcheck disable=SC2086  # the emulator's words
    TEMP=$work $emulator "$work/gate-$name"
  done
done
