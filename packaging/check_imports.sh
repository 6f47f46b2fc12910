#!/usr/bin/env bash
# Holds the shipped programs to the oldest supported Windows and to System32:
#  - every import is on packaging/windows7-imports.txt: functions that Windows 7 SP1
#    has, from its own DLLs (the C and C++ runtimes are linked in, so the folder
#    needs nothing else);
#  - nothing is delay-loaded;
#  - the load configuration's DependentLoadFlags are LOAD_LIBRARY_SEARCH_SYSTEM32,
#    so Windows takes even the static imports from System32 only.
#   check_imports.sh <program.exe>...
set -euo pipefail
allowed=$(dirname "$0")/windows7-imports.txt
status=0
fail() { echo "check_imports: $*" >&2; status=1; }

for exe in "$@"; do
  headers=$(objdump -p "$exe")
  imports=$(awk '/DLL Name:/ {dll = tolower($3)} /^\t[0-9a-f]+\t/ && dll {print dll, $NF}' <<<"$headers" | sort -u)
  [ -n "$imports" ] || fail "$exe: no import table read"
  while read -r import; do
    fail "$exe imports $import, which is not on $allowed"
  done < <(comm -23 <(echo "$imports") <(grep -v '^#' "$allowed" | sort -u))

  read -r delayed < <(awk '/Delay Import Directory/ {print $3}' <<<"$headers")
  [ "$((0x${delayed:-0}))" -eq 0 ] || fail "$exe delay-loads DLLs"

  base=$(awk '$1 == "ImageBase" {print $2}' <<<"$headers")
  read -r rva size < <(awk '/Load Configuration Directory/ {print $3, $4}' <<<"$headers")
  case $(awk '$1 == "Magic" {print $2}' <<<"$headers") in
    010b) field=$((0x36)) ;;  # DependentLoadFlags in IMAGE_LOAD_CONFIG_DIRECTORY32
    020b) field=$((0x4e)) ;;  # ... and in IMAGE_LOAD_CONFIG_DIRECTORY64
    *) fail "$exe: not a PE image"; continue ;;
  esac
  if [ "$((0x${rva:-0}))" -eq 0 ] || [ "$((0x$size))" -lt $((field + 2)) ]; then
    fail "$exe has no load configuration with DependentLoadFlags"
    continue
  fi
  start=$((0x$base + 0x$rva + field))
  flags=$(objdump -s --start-address=$start --stop-address=$((start + 2)) "$exe" | awk '/^ [0-9a-f]+ [0-9a-f]+ / {print $2}')
  [ "$flags" = 0008 ] || fail "$exe: DependentLoadFlags are ${flags:-unreadable} (bytes), not 0x0800 (System32 only)"
done
exit $status
