#!/usr/bin/env bash
# Installs what this project needs and a fresh Debian 12 machine may lack: the compilers
# and CMake, GoogleTest (also its sources, for the Windows builds), Google Benchmark, clang
# with libFuzzer, mingw-w64 for 64- and 32-bit Windows, and wine for both (the 32-bit wine
# comes from Debian's i386 architecture), gcovr for the coverage figures and clang-format and
# clang-tidy, Ninja for the multi-config package's test, and the Linux cross compilers for
# 32-bit x86, arm64 and 32-bit ARM with qemu's user-mode emulator for the ARM programs (the
# 32-bit x86 programs run here on the i386 C++ runtime). Extra package names given as
# arguments come too.
# Installs nothing that is already there.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
# Another apt-get on the machine holds the lock for a while: wait for it instead of failing.
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 "$@"; }

packages=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in g++ cmake make pkgconf libgtest-dev googletest libbenchmark-dev \
         clang libclang-rt-14-dev \
         g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386 \
         clang-format clang-tidy gcovr ninja-build \
         g++-i686-linux-gnu libstdc++6:i386 g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user "$@"; do
  have "$p" || packages+=("$p")
done

if [ ${#packages[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${packages[@]}"
fi
