#!/usr/bin/env bash
# Builds everything and runs every test:
#   native with AddressSanitizer+UBSan, native with ThreadSanitizer,
#   Windows x86_64 under Wine (with Xvfb for the windows), Windows x86 build only.
# Artifacts (screenshots, logs) land under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh all
jobs=$(nproc)
build=$root/build

configure_build_test() {  # name, extra cmake args...
  local name=$1; shift
  echo "=== $name"
  cmake -S . -B "$build/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$build/$name.configure.log"
  cmake --build "$build/$name" -j "$jobs"
}

mkdir -p "$build"
configure_build_test native-asan -DNIBFLASH_SANITIZE=address -DNIBFLASH_BENCHMARKS=OFF
(cd "$build/native-asan" && ctest --output-on-failure -j "$jobs")

configure_build_test native-tsan -DNIBFLASH_SANITIZE=thread -DNIBFLASH_BENCHMARKS=OFF
(cd "$build/native-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs")

# One Wine prefix and one X server for the whole Windows run.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -p
Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
export DISPLAY=:77

configure_build_test win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
(cd "$build/win64" && ctest --output-on-failure -j "$jobs")

configure_build_test win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DNIBFLASH_TESTS=OFF
echo "=== all builds and tests passed"
