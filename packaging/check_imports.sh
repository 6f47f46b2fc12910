#!/usr/bin/env bash
# Holds the shipped programs to the oldest supported Windows and to System32:
#  - every import is on packaging/windows7-imports.txt: functions that Windows 7 SP1
#    has, from its own DLLs (the C and C++ runtimes are linked in, so the folder
#    needs nothing else);
#  - nothing is delay-loaded;
#  - the load configuration's DependentLoadFlags are LOAD_LIBRARY_SEARCH_SYSTEM32,
#    so Windows takes even the static imports from System32 only;
#  - the PE header states Windows 7 (OS and subsystem 6.1) and terminal-server
#    awareness;
#  - the embedded manifest asks for common controls 6.0 of the program's own
#    architecture and nothing else, runs asInvoker, names Windows 7 to 11 as
#    supported and is system DPI aware.
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

  for field in OSystem Subsystem; do
    version=$(awk -v f=$field '$1 == "Major" f "Version" {major = $2} $1 == "Minor" f "Version" {minor = $2}
                                END {print major "." minor}' <<<"$headers")
    [ "$version" = 6.1 ] || fail "$exe: header's ${field/OSystem/OS} version is $version, not 6.1 (Windows 7)"
  done
  grep -qw TERMINAL_SERVICE_AWARE <<<"$headers" || fail "$exe is not marked terminal-server aware"

  case $(awk '$1 == "Magic" {print $2}' <<<"$headers") in
    010b) arch=x86 ;;
    020b) arch=amd64 ;;
    *) arch=unknown ;;
  esac
  # The manifest is stored as its text; on one line, blanks squeezed, to match attributes in order.
  manifest=$(grep -aPzo '(?s)<assembly .*?</assembly>' "$exe" | tr -d '\0' | tr -s '\n\t ' ' ' || true)
  needs() {  # extended regex, what it stands for
    grep -Eq "$1" <<<"$manifest" || fail "$exe: manifest lacks $2"
  }
  if [ -z "$manifest" ]; then
    fail "$exe has no manifest"
  else
    needs 'name="Microsoft\.Windows\.Common-Controls" version="6\.0\.0\.0" processorArchitecture="'$arch'"' \
      "the $arch common controls 6.0"
    [ "$(grep -o '<dependentAssembly>' <<<"$manifest" | wc -l)" -eq 1 ] || fail "$exe: manifest has other dependencies"
    needs '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "requestedExecutionLevel asInvoker"
    needs '<supportedOS Id="\{35138b9a-5d96-4fbd-8e2d-a2440225f93a\}"/>' "supportedOS Windows 7"
    needs '<supportedOS Id="\{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38\}"/>' "supportedOS Windows 8"
    needs '<supportedOS Id="\{1f676c76-80e1-4239-95bb-83d0f6d0da78\}"/>' "supportedOS Windows 8.1"
    needs '<supportedOS Id="\{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a\}"/>' "supportedOS Windows 10 and 11"
    needs '<dpiAware xmlns="http://schemas\.microsoft\.com/SMI/2005/WindowsSettings">true</dpiAware>' "dpiAware true"
  fi

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
