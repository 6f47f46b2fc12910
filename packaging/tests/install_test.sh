#!/usr/bin/env bash
# The shipped x86 installer under Wine (a 64-bit prefix, as on most PCs), as a
# person uses it, and beside a running tool; then the signed release's, whose
# every installed program verifies. Screenshots of its pages go to the artifacts.
#   install_test.sh <release dist> <artifacts dir> <program that holds the pen lock> \
#                   <signed release dist> <its signer's certificate>
# The lock holder is the virtual-pen tool (it opens its pen at start), run from
# outside the installed folder. Needs WINEPREFIX (made, its wineserver up) and
# DISPLAY (an X server).
set -uo pipefail
dist=$(cd "$1" && pwd) artifacts=$2 lock_holder=$3 signed=$(cd "$4" && pwd) cert=$5
root=$(cd "$(dirname "$0")/../.." && pwd)
kit=$(find "$dist" -maxdepth 1 -type d -name 'Nibflash-*-x86')
setup=$(find "$dist" -maxdepth 1 -name 'Nibflash-*-setup.exe')
version=${kit##*/Nibflash-}
version=${version%-x86}
tool=Maravel_Firmware_Upgrade_Tool_v$version.exe
drive=$WINEPREFIX/drive_c
installed=$drive/Program\ Files\ \(x86\)/Nibflash
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Maravel Firmware Upgrade Tool.lnk"
# The x86 installer writes the 32-bit view of the registry.
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
  wait_for 10 has_window "$1"  # Wine may map a new window twice
  id=$(window "$1")
  [ -n "$id" ] && timeout 10 xdotool windowfocus --sync "$id" 2>/dev/null && xdotool key Return
}
shot() {  # window title pattern, file name
  local id
  wait_for 10 has_window "$1"
  id=$(window "$1")
  if [ -n "$id" ]; then import -window "$id" "$artifacts/$2.png"; else echo "FAILED: no window for $2"; failed=$((failed + 1)); fi
}
entry() { wine reg query "$key" /reg:32 /v "$1" 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v {print $NF}'; }
same() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
footprint() {  # what an install leaves: files and their bytes (the shortcut by name:
  # it records the launcher's file times), and the uninstall entry
  (cd "$drive" && places=("Program Files" "Program Files (x86)" ProgramData $(ls -d Kits 2>/dev/null))
   find "${places[@]}" -type f ! -name '*.lnk' -exec sha256sum {} + | sort
   find "${places[@]}" -name '*.lnk' | sort)
  wine reg query "$key" /reg:32 2>/dev/null | tr -d '\r'
}
wine_silently() { timeout 120 wine "$@" >/dev/null 2>&1; }
fails() { ! wine_silently "$@"; }
verifies() { osslsigncode verify -CAfile "$cert" -in "$1" >/dev/null 2>&1; }
tool_window="^Maravel Firmware Upgrade Tool - $version\$"
start_tool() {  # Windows path of a tool: runs it until close_tool, its window up
  wine "$1" >/dev/null 2>&1 &
  tool_pid=$!
  wait_for 30 has_window "$tool_window"
}
close_tool() {
  press_enter "$tool_window"  # Exit
  wait_for 30 gone "$tool_window" && timeout 30 tail --pid="$tool_pid" -f /dev/null
}

before=$(footprint)

# An older install (another version, so another tool name) that the new one
# replaces, with its uninstaller gone: the new installer clears its tool itself.
mkdir "$work/old"
cp "$kit/Handover.exe" "$kit/README.txt" "$work/old/"
printf 'older' >>"$work/old/Handover.exe"
cp "$kit/$tool" "$work/old/Maravel_Firmware_Upgrade_Tool_v3.10.exe"
makensis -V1 -DVERSION=3.10 -DKIT="$work/old" -DTOOL=Maravel_Firmware_Upgrade_Tool_v3.10.exe \
  -DOUTFILE="$work/old-setup.exe" "$root/packaging/nibflash.nsi" >/dev/null
wine_silently "$work/old-setup.exe" /S
check "the older install is there" test -f "$installed/Maravel_Firmware_Upgrade_Tool_v3.10.exe"
rm "$installed/uninstall.exe"

# While the older tool runs, an install changes nothing: silently it says so by
# its exit code, interactively it asks to close the tool (Cancel here).
older=$(footprint)
check "the older tool runs" start_tool 'C:\Program Files (x86)\Nibflash\Maravel_Firmware_Upgrade_Tool_v3.10.exe'
check "silent install while it runs: fails" fails "$setup" /S
timeout 120 wine "$setup" >/dev/null 2>&1 &
setup_pid=$!
check "interactive install: the folder page" wait_for 60 has_window "^Nibflash $version Setup: Installation Folder\$"
press_enter "^Nibflash $version Setup: Installation Folder\$"
check "interactive install: asks to close the tool" wait_for 60 has_window "^Nibflash $version Setup\$"
shot "^Nibflash $version Setup\$" installer-3-tool-running
id=$(window "^Nibflash $version Setup\$")
[ -n "$id" ] && timeout 10 xdotool windowfocus --sync "$id" 2>/dev/null && xdotool key Escape  # Cancel
check "interactive install: Cancel ends it, failed" eval '! wait $setup_pid'
check "and nothing changed" test "$older" = "$(footprint)"
check "the older tool ends on Exit" close_tool

wine_silently "$setup" /S
check "silent install over it: the launcher replaced" same "$installed/Handover.exe" "$kit/Handover.exe"
check "silent install over it: the tool of this version" same "$installed/$tool" "$kit/$tool"
check "silent install over it: the older tool gone" absent "$installed/Maravel_Firmware_Upgrade_Tool_v3.10.exe"
check "the README installed" same "$installed/README.txt" "$kit/README.txt"
check "Apps & features: version $version" test "$(entry DisplayVersion)" = "$version"
check "Apps & features: publisher" test "$(entry Publisher)" = Maravel
check "Apps & features: size in KiB" test "$(($(entry EstimatedSize)))" -ge $(($(stat -c %s "$kit/$tool") / 1024))
check "the shortcut points to the launcher" \
  grep -qF 'C:\Program Files (x86)\Nibflash\Handover.exe' <(strings -a "$shortcut")

once=$(footprint)
wine_silently "$setup" /S
check "installing twice changes nothing" test "$once" = "$(footprint)"

# The installed launcher starts the installed tool (no host application runs here).
wine "C:\\Program Files (x86)\\Nibflash\\Handover.exe" >/dev/null 2>&1 &
launcher=$!
check "the launcher's window opens" wait_for 30 has_window '^Maravel_Firmware_Upgrade_Tool$'
press_enter '^Maravel_Firmware_Upgrade_Tool$'
check "Upgrade starts the installed tool" wait_for 30 has_window "$tool_window"
press_enter "$tool_window"  # Exit
check "the tool ends on Exit" wait_for 30 gone "$tool_window"
wait "$launcher"
cp "$installed/uninstall.exe" "$work/unsigned-uninstall.exe"

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

wine "C:\\Program Files (x86)\\Nibflash\\uninstall.exe" >/dev/null 2>&1 &
page Uninstall Confirmation uninstaller-1-confirmation
page Uninstall Completed uninstaller-2-completed
wait_for 30 gone "^Nibflash $version Uninstall"
wait
check "the uninstaller leaves nothing behind" test "$before" = "$(footprint)"

# /D= picks the folder. The uninstaller leaves everything as it is while the tool
# runs there or any copy of the tool has a pen; it is run in place (_?=) to give
# its exit code (otherwise it hands over to a copy of itself and ends at once).
wine_silently "$setup" /S '/D=C:\Kits\Nibflash'
check "/D= installs into the folder given" test -f "$drive/Kits/Nibflash/$tool"
installed_there=$(footprint)
check "the installed tool runs" start_tool "C:\\Kits\\Nibflash\\$tool"
check "silent uninstall while it runs: fails" fails 'C:\Kits\Nibflash\uninstall.exe' /S '_?=C:\Kits\Nibflash'
check "and leaves files, shortcut and entry" test "$installed_there" = "$(footprint)"
check "the tool ends on Exit" close_tool
check "a tool with a pen runs elsewhere" start_tool "$(winepath -w "$lock_holder")"
check "silent uninstall while it has the pen: fails" fails 'C:\Kits\Nibflash\uninstall.exe' /S '_?=C:\Kits\Nibflash'
check "silent install while it has the pen: fails" fails "$setup" /S '/D=C:\Kits\Nibflash'
check "and both leave everything as it was" test "$installed_there" = "$(footprint)"
check "that tool ends on Exit" close_tool
# /S uninstalls silently (the uninstaller then runs from a copy).
wine_silently "C:\\Kits\\Nibflash\\uninstall.exe" /S
check "silent uninstall from there leaves nothing" wait_for 30 absent "$drive/Kits/Nibflash"
rmdir "$drive/Kits" 2>/dev/null
check "and no entry in Apps & features" test "$before" = "$(footprint)"

# The signed release: every program installed verifies, and stripped of its
# signature is the unsigned release's (the uninstaller too, as the installer writes it).
wine_silently "$signed/$(basename "$setup")" /S '/D=C:\Signed'
for exe in "$drive/Signed"/*.exe; do
  check "signed install: $(basename "$exe") verifies" verifies "$exe"
  osslsigncode remove-signature -in "$exe" -out "$work/stripped.exe" >/dev/null 2>&1
  unsigned=$kit/$(basename "$exe")
  [ "$(basename "$exe")" != uninstall.exe ] || unsigned=$work/unsigned-uninstall.exe
  check "signed install: $(basename "$exe") stripped is the unsigned one" same "$work/stripped.exe" "$unsigned"
  rm -f "$work/stripped.exe"
done
check "signed install: three programs" test "$(ls "$drive/Signed"/*.exe | wc -l)" -eq 3
wine_silently 'C:\Signed\uninstall.exe' /S

echo "install test: $passed passed, $failed failed"
exit $((failed > 0))
