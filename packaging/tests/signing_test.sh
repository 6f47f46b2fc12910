#!/usr/bin/env bash
# Signs a release with a throwaway self-signed certificate: the programs and the
# installer verify with osslsigncode, the zip carries the signed programs, and a
# program stripped of its signature is the unsigned release's, byte for byte. Not
# so the installer: it carries the signed uninstaller, which the install test
# checks under Wine (it verifies, and stripped is the unsigned release's).
#   signing_test.sh <x86 release build dir> <unsigned release's dist> <work dir>
set -euo pipefail
build=$1 unsigned=$(cd "$2" && pwd) work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Nibflash throwaway test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.p12" -passout pass:throwaway
NIBFLASH_SIGN_PKCS12=$work/signer.p12 NIBFLASH_SIGN_PASSWORD=throwaway \
  bash "$root/scripts/release.sh" --build "$build" --dist "$work/dist" --allow-dirty >"$work/release.log"
grep -q "^signed with signer.p12" "$work/release.log"

failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
cd "$work/dist"
kit=$(find . -maxdepth 1 -type d -name 'Nibflash-*' | sed 's|^\./||')
for file in "$kit"/*.exe Nibflash-*-setup.exe; do
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1; then
    echo "== osslsigncode verify $file"
    grep -E "Signer's certificate|Subject:|Message digest algorithm|Signing time|Signature verification" "$work/verify.log" | head -8
  else
    cat "$work/verify.log" >&2
    fail "$file does not verify"
  fi
done
for file in "$kit"/*.exe; do
  rm -f "$work/stripped.exe"
  osslsigncode remove-signature -in "$file" -out "$work/stripped.exe" >/dev/null
  cmp -s "$work/stripped.exe" "$unsigned/$file" || fail "$file without its signature is not the unsigned release's"
  unzip -p "$kit.zip" "$file" | cmp -s - "$file" || fail "the zip's $file is not the signed one"
done
[ $failed -eq 0 ] && echo "signed release: verified; stripped of their signatures, the programs are the unsigned release's"
exit $failed
