#!/usr/bin/env bash
# The installer under Wine, as a person uses it. This machine runs no 32-bit code,
# so the amd64 build of the one .nsi script, with the x86_64 programs, stands in
# for the shipped x86 one. Screenshots of its pages go to the artifacts.
#   install_test.sh <amd64 release dist> <artifacts dir>
# Needs WINEPREFIX (made, its wineserver up) and DISPLAY (an X server).
set -uo pipefail
dist=$(cd "$1" && pwd) artifacts=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
kit=$(find "$dist" -maxdepth 1 -type d -name 'Nibflash-*-amd64')
setup=$(find "$dist" -maxdepth 1 -name 'Nibflash-*-amd64-setup.exe')
version=${kit##*/Nibflash-}
version=${version%-amd64}
tool=Maravel_Firmware_Upgrade_Tool_v$version.exe
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files/Nibflash
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Maravel Firmware Upgrade Tool.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nibflash'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
passed=0 failed=0

check() {  # what, command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}
wait_for() {  # seconds, command...: polls the command until it succeeds or time is up
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}
window() { timeout 10 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
has_window() { [ -n "$(window "$1")" ]; }
gone() { [ -z "$(window "$1")" ]; }
press_enter() {  # window title pattern: the default button
  local id
  id=$(window "$1")
  [ -n "$id" ] && timeout 10 xdotool windowfocus --sync "$id" 2>/dev/null && xdotool key Return
}
shot() {  # window title pattern, file name
  local id
  id=$(window "$1")
  if [ -n "$id" ]; then import -window "$id" "$artifacts/$2.png"; else echo "FAILED: no window for $2"; failed=$((failed + 1)); fi
}
entry() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v {print $NF}'; }
same() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
footprint() {  # what an install leaves: files and their bytes (the shortcut by name:
  # it records the launcher's file times), and the uninstall entry
  (cd "$drive" && find "Program Files" ProgramData -type f ! -name '*.lnk' -exec sha256sum {} + | sort
   find "Program Files" ProgramData -name '*.lnk' | sort)
  wine reg query "$key" 2>/dev/null | tr -d '\r'
}
wine_silently() { timeout 120 wine "$@" >/dev/null 2>&1; }

before=$(footprint)

# An older install (another version, so another tool name) that the new one replaces.
mkdir "$work/old"
cp "$kit/Handover.exe" "$kit/README.txt" "$work/old/"
printf 'older' >>"$work/old/Handover.exe"
cp "$kit/$tool" "$work/old/Maravel_Firmware_Upgrade_Tool_v3.10.exe"
makensis -V1 -DVERSION=3.10 -DTARGET=amd64-unicode -DKIT="$work/old" -DTOOL=Maravel_Firmware_Upgrade_Tool_v3.10.exe \
  -DOUTFILE="$work/old-setup.exe" "$root/packaging/nibflash.nsi" >/dev/null
wine_silently "$work/old-setup.exe" /S
check "the older install is there" test -f "$installed/Maravel_Firmware_Upgrade_Tool_v3.10.exe"

wine_silently "$setup" /S
check "silent install over it: the launcher replaced" same "$installed/Handover.exe" "$kit/Handover.exe"
check "silent install over it: the tool of this version" same "$installed/$tool" "$kit/$tool"
check "silent install over it: the older tool gone" absent "$installed/Maravel_Firmware_Upgrade_Tool_v3.10.exe"
check "the README installed" same "$installed/README.txt" "$kit/README.txt"
check "Apps & features: version $version" test "$(entry DisplayVersion)" = "$version"
check "Apps & features: publisher" test "$(entry Publisher)" = Maravel
check "Apps & features: size in KiB" test "$(($(entry EstimatedSize)))" -ge $(($(stat -c %s "$kit/$tool") / 1024))
check "the shortcut points to the launcher" \
  grep -q 'C:\\Program Files\\Nibflash\\Handover.exe' <(strings -a "$shortcut")

once=$(footprint)
wine_silently "$setup" /S
check "installing twice changes nothing" test "$once" = "$(footprint)"

# The installed launcher starts the installed tool (no host application runs here).
wine "C:\\Program Files\\Nibflash\\Handover.exe" >/dev/null 2>&1 &
launcher=$!
check "the launcher's window opens" wait_for 30 has_window '^Maravel_Firmware_Upgrade_Tool$'
press_enter '^Maravel_Firmware_Upgrade_Tool$'
check "Upgrade starts the installed tool" wait_for 30 has_window "^Maravel Firmware Upgrade Tool - $version\$"
press_enter "^Maravel Firmware Upgrade Tool - $version\$"  # Exit
check "the tool ends on Exit" wait_for 30 gone "^Maravel Firmware Upgrade Tool - $version\$"
wait "$launcher"

# The pages a person sees, installing again and uninstalling.
page() {  # program, page (its title's end), screenshot name
  check "$1: the $2 page" wait_for 60 has_window "^Nibflash $version $1: $2\$"
  shot "^Nibflash $version $1: $2\$" "$3"
  press_enter "^Nibflash $version $1: $2\$"
}
wine "$setup" >/dev/null 2>&1 &
page Setup "Installation Folder" installer-1-folder
page Setup Completed installer-2-completed
wait_for 30 gone "^Nibflash $version Setup"
wait

wine "C:\\Program Files\\Nibflash\\uninstall.exe" >/dev/null 2>&1 &
page Uninstall Confirmation uninstaller-1-confirmation
page Uninstall Completed uninstaller-2-completed
wait_for 30 gone "^Nibflash $version Uninstall"
wait
check "the uninstaller leaves nothing behind" test "$before" = "$(footprint)"

# /D= picks the folder; /S uninstalls silently (the uninstaller then runs from a copy).
wine_silently "$setup" /S '/D=C:\Kits\Nibflash'
check "/D= installs into the folder given" test -f "$drive/Kits/Nibflash/$tool"
wine_silently "C:\\Kits\\Nibflash\\uninstall.exe" /S
check "silent uninstall from there leaves nothing" wait_for 30 absent "$drive/Kits/Nibflash"
rmdir "$drive/Kits" 2>/dev/null
check "and no entry in Apps & features" test "$before" = "$(footprint)"

echo "install test: $passed passed, $failed failed"
exit $((failed > 0))
