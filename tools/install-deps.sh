#!/usr/bin/env bash
# Installs what this project needs and a fresh Debian 12 machine may lack: the compilers
# and CMake, GoogleTest (also its sources, for the Windows build), Google Benchmark, clang
# with libFuzzer, mingw-w64 and wine. Extra package names given as arguments come too.
# Installs nothing that is already there.
set -euo pipefail

packages=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in g++ cmake make libgtest-dev googletest libbenchmark-dev \
         clang libclang-rt-14-dev \
         g++-mingw-w64-x86-64-posix wine64 "$@"; do
  have "$p" || packages+=("$p")
done

if [ ${#packages[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi
