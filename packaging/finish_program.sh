#!/usr/bin/env bash
# Readies a program of the kit for shipping, in place: pads it to 8 bytes, gives
# it its PE checksum and, when NIBFLASH_SIGN_PKCS12 names a PKCS#12 file (its
# password in NIBFLASH_SIGN_PASSWORD, NIBFLASH_SIGN_TIMESTAMP_URL optional),
# signs it with Authenticode, dated SOURCE_DATE_EPOCH. Signing pads to 8 bytes
# before the signature and taking the signature off leaves the padding, so a
# signed program stripped of its signature is the unsigned one, byte for byte.
# scripts/release.sh runs it on the programs and makensis on the uninstaller.
#   finish_program.sh <description> <file>
set -euo pipefail
description=$1 file=$2
pe_checksum() {  # file
  local field
  field=$((($(od -An -tu4 -j60 -N4 "$1") + 24 + 64) / 2))  # in 16-bit words
  od -An -v -tu2 -w2 "$1" | awk -v skip="$field" -v size="$(stat -c %s "$1")" '
    NR - 1 != skip && NR - 1 != skip + 1 { s += $1; if (s >= 4294967296) s = s % 65536 + int(s / 65536) }
    END { while (s >= 65536) s = s % 65536 + int(s / 65536); print s + size }'
}
le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
head -c $(((8 - $(stat -c %s "$file") % 8) % 8)) /dev/zero >>"$file"
le32 "$(pe_checksum "$file")" | dd of="$file" bs=1 seek=$(($(od -An -tu4 -j60 -N4 "$file") + 24 + 64)) conv=notrunc status=none
[ -n "${NIBFLASH_SIGN_PKCS12:-}" ] || exit 0
osslsigncode sign -pkcs12 "$NIBFLASH_SIGN_PKCS12" -readpass <(printf '%s' "${NIBFLASH_SIGN_PASSWORD:-}") \
  -h sha256 -n "$description" -time "$SOURCE_DATE_EPOCH" \
  ${NIBFLASH_SIGN_TIMESTAMP_URL:+-ts "$NIBFLASH_SIGN_TIMESTAMP_URL"} -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
