#!/usr/bin/env bash
# scripts/sign.sh with a throwaway self-signed code-signing certificate: the DLL, credhost.exe, the
# package and both files inside the package must all verify against that certificate as the only trusted
# root, and not against another one. The script runs traced (bash -x), and osslsigncode through
# a wrapper that keeps its own environment and the script's: the password, given on a file
# descriptor, must appear in none of them. A password in QM_SIGN_PASSWORD is refused.
# Usage: signing_test.sh BUILD_DIR
set -euo pipefail
export QM_BUILD_DIR=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "signing: FAIL: $*" >&2; exit 1; }

make_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -keyout "$work/$1.key" -out "$work/$1.pem" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null
}
make_certificate qm-test-signer
make_certificate someone-else
password="pfx-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
(umask 077 && printf '%s\n' "$password" >"$work/password")
openssl pkcs12 -export -inkey "$work/qm-test-signer.key" -in "$work/qm-test-signer.pem" \
  -out "$work/signer.pfx" -passout file:"$work/password"

! QM_SIGN_PASSWORD=$password bash "$root/scripts/sign.sh" "$work/signer.pfx" "$work/refused" </dev/null >/dev/null 2>&1 ||
  fail "sign.sh took the password from its environment"
mkdir "$work/bin"
printf '#!/bin/sh\n{ env; tr "\\0" "\\n" </proc/$PPID/environ; } >>"%s"\nexec %s "$@"\n' "$work/children.env" \
  "$(command -v osslsigncode)" >"$work/bin/osslsigncode"
chmod +x "$work/bin/osslsigncode"
QM_SIGN_PASSWORD_FD=3 PATH="$work/bin:$PATH" bash -x "$root/scripts/sign.sh" "$work/signer.pfx" "$work/out" \
  3<"$work/password" >"$work/trace" 2>&1 || { cat "$work/trace" >&2; fail "sign.sh failed"; }
grep -q '^+* *mkdir -p ' "$work/trace" || fail "sign.sh was not traced"
[ -s "$work/children.env" ] || fail "osslsigncode was not started through the wrapper"
! grep -qF -- "$password" "$work/trace" || fail "bash -x shows the password"
! grep -qF -- "$password" "$work/children.env" || fail "the password reaches an environment"
package=$(echo "$work"/out/qm-credprovider-*-x64.msi)
(cd "$work" && msiextract -C inside "$package" >/dev/null)
inner=$(find "$work/inside" -name qm-credprovider.dll)
cmp -s "$inner" "$work/out/qm-credprovider.dll" || fail "the package does not hold the signed DLL"
inner_credhost=$(find "$work/inside" -name credhost.exe)
cmp -s "$inner_credhost" "$work/out/credhost.exe" || fail "the package does not hold the signed credhost.exe"

for signed in "$work/out/qm-credprovider.dll" "$work/out/credhost.exe" "$package" "$inner" "$inner_credhost"; do
  osslsigncode verify -CAfile "$work/qm-test-signer.pem" -in "$signed" >"$work/verify.out" 2>&1 ||
    { cat "$work/verify.out" >&2; fail "$signed does not verify"; }
  grep -q 'Text description: Quillmere Credential Provider' "$work/verify.out" || fail "$signed lacks the description"
  ! osslsigncode verify -CAfile "$work/someone-else.pem" -in "$signed" >/dev/null 2>&1 ||
    fail "$signed verifies against a root that did not sign it"
done
echo "signing: DLL, credhost.exe and package signed and verified ($(stat -c %s "$package") bytes)"
