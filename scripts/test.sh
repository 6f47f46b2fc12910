#!/usr/bin/env bash
# Builds everything and runs every test:
#   native with AddressSanitizer+UBSan, native with ThreadSanitizer, the fuzz target for 60 s,
#   Windows x86, the shipped programs: the release's kit made from its build, and every Wine
#   test on the kit's own files, in a 64-bit prefix (x86 programs, x86_64 fake driver), with
#   Xvfb for the windows; Windows x86_64 built whole, its Win32-only suites under Wine;
#   and the release: reproducible, signed, held to Windows 7 SP1, installed under Wine.
# Artifacts (screenshots, logs) land under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh all
jobs=$(nproc)
build=$root/build

configure_build_test() {  # name, build type, extra cmake args...; $targets: what to build (default: all)
  local name=$1 type=$2; shift 2
  local start=$SECONDS
  echo "=== $name: building"
  cmake -S . -B "$build/$name" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >"$build/$name.configure.log"
  cmake --build "$build/$name" -j "$jobs" ${targets:+--target $targets} >"$build/$name.build.log" 2>&1 ||
    { tail -60 "$build/$name.build.log"; exit 1; }
  echo "=== $name: built in $((SECONDS - start)) s"
}

mkdir -p "$build"
# Sanitizer builds at -O1 without debug information: they build in half the time
# and their reports still name the functions and lines through the symbols.
# The benchmark is built here too, and run once as a smoke test (label smoke, under a second).
configure_build_test native-asan "" -DCMAKE_CXX_FLAGS=-O1 -DNIBFLASH_SANITIZE=address -DNIBFLASH_BENCHMARKS=ON
(cd "$build/native-asan" && ctest --output-on-failure -j "$jobs" --timeout 300)

configure_build_test native-tsan "" -DCMAKE_CXX_FLAGS=-O1 -DNIBFLASH_SANITIZE=thread -DNIBFLASH_BENCHMARKS=OFF
# The recovery campaign (hundreds of whole upgrades) runs under AddressSanitizer only.
(cd "$build/native-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs" --timeout 300 -LE campaign)

# The fuzz target (fuzz/), time-boxed. It starts from the committed seeds, which
# it runs first, and keeps what it finds in a fresh corpus under build/; a crash,
# a hang (-timeout), a sanitizer report or a broken invariant fails the run and
# leaves the input in build/fuzz/. Its last status line gives executions per
# second and coverage (cov: edges, ft: features).
# The same clang build compiles the whole native product (the terminal demo
# `nibflash` links every product library) with the thread-safety analysis as
# errors: an access to a guarded field without its lock fails the build.
fuzz_start=$SECONDS
echo "=== fuzz: building (and the thread-safety analysis of the product)"
cmake -S . -B "$build/fuzz" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" -DNIBFLASH_SANITIZE=address -DNIBFLASH_FUZZ=ON \
  -DNIBFLASH_TESTS=OFF -DNIBFLASH_BENCHMARKS=OFF >"$build/fuzz.configure.log"
cmake --build "$build/fuzz" --target pen_answers_fuzzer nibflash -j "$jobs" >"$build/fuzz.build.log" 2>&1 ||
  { tail -60 "$build/fuzz.build.log"; exit 1; }
echo "=== fuzz: built in $((SECONDS - fuzz_start)) s; fuzzing for 60 s"
rm -rf "$build/fuzz/corpus"
mkdir -p "$build/fuzz/corpus"
if ! "$build/fuzz/fuzz/pen_answers_fuzzer" -max_total_time=60 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz/" "$build/fuzz/corpus" fuzz/corpus >"$build/fuzz.log" 2>&1; then
  tail -60 "$build/fuzz.log"
  echo "=== fuzz: FAILED (input saved under $build/fuzz/)"
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+DONE' "$build/fuzz.log" | tail -1
grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$build/fuzz.log"

# One Wine prefix per run, made once, with its wineserver kept up for the whole
# run (each test would otherwise start a server and wait for it to go), and one
# X server for the tests that open windows. Every test has a CTest time limit and
# every step that waits on Wine or X has one of its own, so a run cannot hang.
windows_start=$SECONDS
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source scripts/wine-env.sh
trap stop_wine_and_xvfb EXIT
start_xvfb
make_wine_prefix
echo "=== Wine prefix ready in $((SECONDS - windows_start)) s"

# The x86 programs, built as the release builds them (the tests beside them
# change none of their bytes: the reproducible test below builds without them),
# and the release's kit from them; the tests then run the kit's stripped programs.
release=$build/release
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
configure_build_test win32 Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DNIBFLASH_BENCHMARKS=OFF \
  -DNIBFLASH_DEBUG_INFO=ON
bash scripts/release.sh --build "$build/win32" --dist "$release/dist" --allow-dirty
tests_start=$SECONDS
kit=$(echo "$release"/dist/Nibflash-*-x86)
(cd "$build/win32" && NIBFLASH_KIT=$kit timeout --kill-after=30 2400 ctest --output-on-failure -j "$jobs" --timeout 300)
echo "=== win32 tests (the kit's programs) took $((SECONDS - tests_start)) s"

# x86_64: what only 64 bits can break is the Win32-only code that passes handles,
# pointers and sizes through the system (the channel's Setup API and overlapped
# requests, afx's windows, the pen lock, the launcher's dialog); the portable code
# runs at 64 bits natively. So the programs and these suites, built with their
# 64-bit narrowing as errors, and run under Wine.
win64_tests='^(pen_channel_win_test|tool_win_test\.(WithoutUsablePen|TwoCopies)|handover_wine_test\.(ToolPath|Dialogs))$'
targets="nibflash_tool Handover pen_channel_win_test tool_win_test handover_wine_test" \
  configure_build_test win64 Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DNIBFLASH_BENCHMARKS=OFF
tests_start=$SECONDS
(cd "$build/win64" && timeout --kill-after=30 600 ctest --output-on-failure -j "$jobs" --timeout 300 -R "$win64_tests")
echo "=== win64 tests took $((SECONDS - tests_start)) s"
echo "=== Windows half took $((SECONDS - windows_start)) s"

# The release: the x86 kit above; its programs (and the tested x86_64 ones) held
# to Windows 7 SP1 and System32; a second release from a copy of the tree, bit for
# bit the same; a signed one; the x86 installer under Wine.
release_start=$SECONDS
bash packaging/check_imports.sh "$release"/dist/Nibflash-*-x86/*.exe "$build"/win64/tool/Maravel_*.exe \
  "$build/win64/launcher/Handover.exe"
echo "=== imports and load flags: Windows 7 SP1, System32 only"
bash packaging/tests/signing_test.sh "$build/win32" "$release/dist" "$release/signed"
# The shipped installer and the signed one; the virtual-pen tool of the x86 build holds the pen lock.
timeout --kill-after=10 300 bash packaging/tests/install_test.sh "$release/dist" "$build/win32/artifacts/installer" \
  "$build/win32/tool/nibflash_virtual_pen.exe" "$release/signed/dist" "$release/signed/cert.pem"
bash packaging/tests/reproducible_test.sh "$release/dist" "$release/second"
echo "=== release stages took $((SECONDS - release_start)) s"
echo "=== all builds and tests passed"
