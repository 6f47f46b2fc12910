#!/usr/bin/env bash
# The main job: builds the native tool and runs its real dialog code against a
# virtual pen with older firmware, showing in the terminal what the dialog shows
# while it upgrades the pen. The pen takes realistic time unless told otherwise
# (--timing zero); further options go to the program (try --help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh native
mkdir -p "$root/build"
build=$root/build/native
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIBFLASH_TESTS=OFF >"$root/build/native.configure.log"
fi
cmake --build "$build" --target nibflash >"$root/build/native.build.log" || { tail -40 "$root/build/native.build.log"; exit 1; }
exec "$build/demo/nibflash" --timing realistic "$@"
