#!/usr/bin/env bash
# Installs what the builds need from Debian's packages. Idempotent; run as root.
#   install-deps.sh native   compilers (g++; clang and libFuzzer's runtime for the fuzz target), CMake,
#                            GoogleTest, Google Benchmark, zlib (the icon generator) (+ windres for dialog templates)
#   install-deps.sh all      the above, MinGW-w64, Wine, Xvfb, the tools for screenshots, and
#                            the release's: NSIS, osslsigncode, OpenSSL, zip; and 32-bit Wine beside
#                            the 64-bit one, which runs the shipped x86 programs (as WoW64 does)
set -euo pipefail
what=${1:-all}
packages=(g++ clang libclang-rt-14-dev cmake ninja-build googletest libbenchmark-dev zlib1g-dev binutils-mingw-w64-x86-64
          gcc-mingw-w64-x86-64-posix)
if [ "$what" = all ]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb xdotool x11-utils
             imagemagick fonts-wqy-microhei nsis osslsigncode openssl zip unzip wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
