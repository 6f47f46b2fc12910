#!/usr/bin/env bash
# Runs one Windows program under Wine: `wine-run.sh prog.exe [args...]`, and the
# emulator CTest uses for the MinGW builds. scripts/test.sh makes one prefix per
# run and keeps its wineserver up; run on its own, this makes a missing prefix
# first, once, even when CTest starts several tests at the same moment.
set -eu
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/nibflash-wineprefix}
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Marked ready once made; a prefix made elsewhere (it has its registry) is taken as it is.
ready=$WINEPREFIX/.nibflash-ready
if [ ! -f "$ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$ready" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
      timeout 300 wineboot -i >/dev/null 2>&1 || { echo "wine-run.sh: wineboot failed" >&2; exit 1; }
      # wineboot on an empty prefix leaves two sets of system services behind,
      # which fight over the service database: let that server go first.
      timeout 60 wineserver -w || true
    fi
    touch "$ready"
  ) 9>"$WINEPREFIX.lock"
fi
# The program's output goes through files, not straight to our caller's pipes: the
# first program on a fresh server that needs a desktop makes Wine start explorer
# with that program's standard handles, and CTest waits for its pipes to close,
# which then happens only once every other windowed test has ended too.
out=$(mktemp) err=$(mktemp)
dump() {
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
}
trap 'dump; exit 143' TERM INT  # a test stopped at its time limit still shows what it wrote
status=0
wine "$@" >"$out" 2>"$err" </dev/null &
wait $! || status=$?
dump
exit "$status"
