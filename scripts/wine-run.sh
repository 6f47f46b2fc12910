#!/usr/bin/env bash
# Runs a Windows test program under Wine: the emulator CTest uses for the MinGW builds.
# The prefix is made once per test run by scripts/test.sh (WINEPREFIX); a missing one is made here.
set -eu
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/nibflash-wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
fi
exec wine "$@"
