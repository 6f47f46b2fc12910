#!/usr/bin/env bash
# Runs Wine tests of a built tree again and again, each time on a fresh prefix
# and a fresh wineserver made as scripts/test.sh makes them, to catch failures
# that come by chance (a first run on a new server, a test left waiting at exit):
#   wine-fresh-runs.sh [-n runs] [-b build dir, build/win32 unless given] [ctest args...]
#   e.g. wine-fresh-runs.sh -n 20 -R pen_channel_win_test
# Uses a prefix and an X server of its own; prints one line per run with each
# test's result and time, and exits non-zero if any run failed. Logs stay in
# the work directory it names at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=20 build=$root/build/win32
while [ $# -ge 2 ]; do  # its own options first; the rest go to ctest
  case $1 in
    -n) runs=$2 ;;
    -b) build=$2 ;;
    *) break ;;
  esac
  shift 2
done
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-fresh-runs.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

source "$root/scripts/wine-env.sh"
trap stop_wine_and_xvfb EXIT
start_xvfb

failed=0
for run in $(seq "$runs"); do
  start=$SECONDS
  make_wine_prefix
  made=$((SECONDS - start))
  # No cost data: tests start in the order of a fresh checkout.
  rm -f "$build/Testing/Temporary/CTestCostData.txt"
  status=passed
  (cd "$build" && timeout --kill-after=30 1200 ctest --output-on-failure "$@") >"$work/run-$run.log" 2>&1 ||
    { status=FAILED; failed=$((failed + 1)); }
  echo "run $run: $status (prefix ${made} s) $(grep -Eo 'Test +#[0-9]+: [^ ]+ \.+ *[^ ]+ +[0-9.]+ sec' \
    "$work/run-$run.log" | sed -E 's/Test +#[0-9]+: //; s/ \.+ */ /; s/ +/ /g' | tr '\n' ';')"
done
echo "$((runs - failed)) of $runs runs passed; logs in $work"
[ "$failed" -eq 0 ]
