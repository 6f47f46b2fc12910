#!/bin/sh
# Points a linked program's load configuration directory at its _load_config_used,
# as newer linkers do themselves, so that Windows reads its DependentLoadFlags.
#   pe_load_config.sh <program.exe> <nm> <objdump>
set -eu
exe=$1 nm=$2 objdump=$3
address=$("$nm" "$exe" | awk '$3 ~ /^_?_load_config_used$/ {print $1}')
[ -n "$address" ] || { echo "$exe: no _load_config_used" >&2; exit 1; }
base=$("$objdump" -p "$exe" | awk '$1 == "ImageBase" {print $2}')
magic=$("$objdump" -p "$exe" | awk '$1 == "Magic" {print $2}')
# The directory's size is the structure's own first field.
size=$("$objdump" -s --start-address=0x"$address" --stop-address=$((0x$address + 4)) "$exe" |
       awk '/^ [0-9a-f]+ [0-9a-f]+ / {print $2; exit}')
size=$((0x$(echo "$size" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')))
rva=$((0x$address - 0x$base))
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
case $magic in
  010b) directories=$((pe + 24 + 96)) ;;   # PE32
  020b) directories=$((pe + 24 + 112)) ;;  # PE32+
  *) echo "$exe: not a PE image ($magic)" >&2; exit 1 ;;
esac
le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
{ le32 "$rva"; le32 "$size"; } | dd of="$exe" bs=1 seek=$((directories + 10 * 8)) conv=notrunc status=none
