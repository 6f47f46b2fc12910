#!/usr/bin/env bash
# Makes what a person downloads, under dist/:
#   Nibflash-<version>-x86/        the one-folder kit: Handover.exe, the tool, README.txt
#   Nibflash-<version>-x86.zip     the same folder, zipped
#   Nibflash-<version>-setup.exe   the installer
#   symbols/                       the programs' debug information (.gnu_debuglink)
#   Nibflash-<version>-x86.buildinfo  how it was built: commit, SOURCE_DATE_EPOCH, toolchain
#   SHA256SUMS
# Bit for bit the same from the same commit, wherever and whenever it is built.
# Signed with Authenticode when NIBFLASH_SIGN_PKCS12 names a PKCS#12 file (its
# password in NIBFLASH_SIGN_PASSWORD; NIBFLASH_SIGN_TIMESTAMP_URL optional).
#
#   release.sh [--dist DIR] [--build DIR] [--allow-dirty]
#       builds the x86 programs afresh in build/release-x86 (or in DIR, kept as it
#       is, its tests too)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/dist build= allow_dirty=
while [ $# -gt 0 ]; do
  case $1 in
    --dist) dist=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --allow-dirty) allow_dirty=1; shift ;;
    *) echo "release.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
arch=x86 prefix=i686-w64-mingw32

# The commit's time stands for every time the release records.
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  if [ -z "$allow_dirty" ] && ! git -C "$root" diff --quiet HEAD; then
    echo "release.sh: the work tree has uncommitted changes; commit them (or --allow-dirty)" >&2
    exit 1
  fi
  : "${SOURCE_DATE_EPOCH:=$(git -C "$root" log -1 --format=%ct)}"
fi
[ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "release.sh: no commit to date the release: set SOURCE_DATE_EPOCH" >&2; exit 1; }
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

version=$(sed -n 's/^#define NIBFLASH_FIRMWARE_VERSION "\(.*\)"$/\1/p' "$root/version.h")
tool=Maravel_Firmware_Upgrade_Tool_v$version.exe
name=Nibflash-$version-$arch
installer=Nibflash-$version-setup.exe

# The tests change no byte of the programs: a tree given with --build keeps
# them (scripts/test.sh runs them on this release's programs).
extra=()
if [ -z "$build" ]; then
  build=$root/build/release-$arch
  rm -rf "$build"
  mkdir -p "$build"
  extra=(-DNIBFLASH_TESTS=OFF -DNIBFLASH_BENCHMARKS=OFF)
fi
cmake -S "$root" -B "$build" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DNIBFLASH_DEBUG_INFO=ON \
  "${extra[@]}" >"$build.configure.log"
cmake --build "$build" --target nibflash_tool Handover >"$build.build.log" 2>&1 ||
  { tail -40 "$build.build.log"; exit 1; }

rm -rf "$dist"
kit=$dist/$name
mkdir -p "$kit" "$dist/symbols"
# Stripped programs; their debug information beside in symbols/, found again
# through the .gnu_debuglink that names it (with its CRC).
for exe in launcher/Handover.exe "tool/$tool"; do
  file=$(basename "$exe")
  # objcopy dates the PE header from SOURCE_DATE_EPOCH; the link left it at 0.
  SOURCE_DATE_EPOCH=0 "$prefix-objcopy" --only-keep-debug "$build/$exe" "$dist/symbols/$file.debug"
  SOURCE_DATE_EPOCH=0 "$prefix-objcopy" --strip-all --add-gnu-debuglink="$dist/symbols/$file.debug" \
    "$build/$exe" "$kit/$file"
done
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/packaging/README.txt" >"$kit/README.txt"

# Padded, checksummed and, when asked, signed: the programs before they go into
# the zip and the installer, the uninstaller as makensis makes it, the installer last.
finish=(bash "$root/packaging/finish_program.sh" "Nibflash $version")
for exe in "$kit"/*.exe; do "${finish[@]}" "$exe"; done

# Every file of the kit with the commit's time and fixed modes, so that the zip
# and the installer (which records file times) do not depend on the build's.
chmod 0755 "$kit"
chmod 0644 "$kit"/*
find "$kit" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

makensis -V2 -NOCD -DVERSION="$version" -DKIT="$kit" -DTOOL="$tool" -DOUTFILE="$dist/$installer" \
  -DFINISH="bash '$root/packaging/finish_program.sh' 'Nibflash $version' '%1'" \
  "$root/packaging/nibflash.nsi" >"$dist.makensis.log" || { cat "$dist.makensis.log"; exit 1; }
"${finish[@]}" "$dist/$installer"

# How it was built, in the spirit of Debian's .buildinfo: the commit, its time and
# the Debian packages of every tool and library that made the bytes. The same for
# every release of one commit on one machine: no times of day, no local paths.
# A copy of the tree outside its checkout names its commit in NIBFLASH_COMMIT.
commit=${NIBFLASH_COMMIT:-}
if [ -z "$commit" ] && [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$(cd "$root" && pwd -P)" ]; then
  commit=$(git -C "$root" rev-parse HEAD)
  git -C "$root" diff --quiet HEAD || commit="$commit with uncommitted changes"
fi
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
compiler=${compiler:-$prefix-g++-posix}
used=("$compiler" "${compiler/g++/gcc}" "$prefix-ld" "$prefix-objcopy" "$prefix-windres" makensis osslsigncode zip)
used=($(for tool in "${used[@]}"; do readlink -f "$(command -v "$tool")"; done)
      $(for lib in libstdc++.a libmingwex.a; do readlink -f "$("$compiler" -print-file-name=$lib)"; done))
{
  echo "Format: 1.0"
  echo "Source: Nibflash"
  echo "Version: $version"
  echo "Architecture: $arch"
  echo "Commit: ${commit:-unknown}"
  echo "Source-Date-Epoch: $SOURCE_DATE_EPOCH"
  echo "Compiler: $("$compiler" --version | head -n1)"
  echo "Linker: $("$prefix-ld" --version | head -n1)"
  echo "Installed-Build-Depends:"
  dpkg-query -S "${used[@]}" | cut -d: -f1 | tr ',' '\n' | tr -d ' ' | sort -u |
    xargs dpkg-query -W -f=' ${Package} (= ${Version}),\n' | sed '$ s/,$//'
} >"$dist/$name.buildinfo"

# Sorted entries, no extra attributes, times from the commit (zip writes local time: UTC here).
(cd "$dist" && find "$name" -type f | sort | zip -q -X -D -@ "$name.zip")

(cd "$dist" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
echo "release $version ($arch) in $dist:"
(cd "$dist" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | while read -r f; do
  printf '%10d  %s  %s\n' "$(stat -c %s "$f")" "$(sha256sum "$f" | cut -c1-64)" "$f"
done)
if [ -n "${NIBFLASH_SIGN_PKCS12:-}" ]; then
  echo "signed with $(basename "$NIBFLASH_SIGN_PKCS12")"
else
  echo "UNSIGNED: set NIBFLASH_SIGN_PKCS12 and NIBFLASH_SIGN_PASSWORD to sign"
fi
