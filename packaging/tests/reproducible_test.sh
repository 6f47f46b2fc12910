#!/usr/bin/env bash
# A second release from the same commit, built elsewhere and later, from a copy
# of the tree, one job at a time, under another time zone and umask, must give the
# first one's bytes: programs, symbols, installer, zip, build information.
#   reproducible_test.sh <first release's dist> <work dir>
# SOURCE_DATE_EPOCH: as for the first (release.sh takes it from the commit).
set -euo pipefail
first=$(cd "$1" && pwd) work=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work/source"
# The files git knows of, as they are in the work tree (changes not yet committed too).
(cd "$root" && { git ls-files; git ls-files --others --exclude-standard; } | sort -u |
  while read -r f; do [ -e "$f" ] && echo "$f"; done | tar -cf - -T -) | tar -xf - -C "$work/source"
# The copy has no history of its own: it is the commit the first release names.
commit=$(sed -n 's/^Commit: //p' "$first"/*.buildinfo)
(umask 077 && TZ=Asia/Shanghai NIBFLASH_COMMIT=$commit CMAKE_BUILD_PARALLEL_LEVEL=1 \
  bash "$work/source/scripts/release.sh" --dist "$work/dist" --allow-dirty >"$work/release.log")
# SHA256SUMS names every other file of the release.
listed=$(cut -c67- "$first/SHA256SUMS")
present=$(cd "$first" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
[ "$listed" = "$present" ] || { echo "FAILED: SHA256SUMS does not list exactly the release's files" >&2; exit 1; }
if diff -r "$first" "$work/dist" >"$work/diff.log" 2>&1; then
  echo "reproducible: the second release is the first, bit for bit:"
  cat "$first/SHA256SUMS"
else
  echo "FAILED: the second release differs from the first:" >&2
  cat "$work/diff.log" >&2
  diff "$first/SHA256SUMS" "$work/dist/SHA256SUMS" >&2 || true
  exit 1
fi
