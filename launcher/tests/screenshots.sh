#!/usr/bin/env bash
# Pictures of the launcher's dialogs under Wine, kept as build artifacts:
#   screenshots.sh <dir of handover_screenshots.exe> <output dir>
# Runs the driver inside a Wine virtual desktop, where Wine draws the captions and
# menus itself (Xvfb has no window manager); the driver writes the PNGs.
set -euo pipefail
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
mkdir -p "$out"
rm -f "$out"/handover_*.png

# Wine ships no SimSun (宋体): let the installed CJK font answer to that name, and
# stand behind the menu font, as a Chinese Windows would render them.
fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
LC_ALL=C.UTF-8 "$wine_run" reg add "$fonts\\FontSubstitutes" /v '宋体' /d 'WenQuanYi Micro Hei' /f >/dev/null
LC_ALL=C.UTF-8 "$wine_run" reg add "$fonts\\FontLink\\SystemLink" /v Tahoma /t REG_MULTI_SZ \
  /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null

# Wine's drive Z: is the Unix root.
windows_path() { local p; p=$(cd "$1" && pwd); echo "Z:${p//\//\\}"; }
"$wine_run" explorer /desktop=HandoverScreenshots,640x360 \
  "$(windows_path "$bin")\\handover_screenshots.exe" "$(windows_path "$out")"

status=0
for name in main system_menu about; do
  if [ -f "$out/handover_$name.png" ]; then
    echo "screenshot: $out/handover_$name.png"
  else
    echo "missing screenshot: handover_$name" >&2
    status=1
  fi
done
exit $status
