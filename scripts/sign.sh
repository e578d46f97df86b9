#!/usr/bin/env bash
# Signs a release with an Authenticode code-signing certificate: first the DLL and credhost.exe,
# then the package built around them, all with osslsigncode (SHA-256). Run after scripts/build.sh; the
# unsigned build's files are left as they are.
#   scripts/sign.sh CERT.pfx [OUT_DIR]      (OUT_DIR defaults to build/signed)
# The certificate's password is asked for on the terminal, or read as one line from the file
# descriptor that QM_SIGN_PASSWORD_FD names (QM_SIGN_PASSWORD_FD=3 scripts/sign.sh CERT.pfx
# 3<FILE). Never from the environment: a process's environment block stays readable by its user
# (/proc/PID/environ) for as long as it runs, whatever the script unsets, so QM_SIGN_PASSWORD is
# refused. The password is kept in a variable of this script only, and no line that holds it is
# traced, even under bash -x.
# Signatures carry no timestamp unless QM_SIGN_TIMESTAMP_URL names an RFC 3161 server; without
# one, Windows stops trusting the signature when the certificate expires.
# Leaves OUT_DIR/qm-credprovider.dll, OUT_DIR/credhost.exe and OUT_DIR/qm-credprovider-<version>-x64.msi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -f "$1" ]; then
  echo "usage: $0 CERT.pfx [OUT_DIR]   (the password is asked for, or read from the descriptor" >&2
  echo "       QM_SIGN_PASSWORD_FD names: QM_SIGN_PASSWORD_FD=3 $0 CERT.pfx 3<FILE)" >&2
  exit 2
fi
if [ -n "${QM_SIGN_PASSWORD+set}" ]; then
  echo "sign: QM_SIGN_PASSWORD is not read: the environment stays readable in /proc while this runs;" >&2
  echo "      type the password when asked, or pass it on a descriptor (QM_SIGN_PASSWORD_FD)" >&2
  exit 2
fi
case ${QM_SIGN_PASSWORD_FD-} in
  '' | [0-9] | [1-9][0-9]) ;;
  *) echo "sign: QM_SIGN_PASSWORD_FD must be a file descriptor number" >&2; exit 2 ;;
esac
pfx=$1
out=${2:-$build/signed}
dll="$build/src/module/qm-credprovider.dll"
credhost="$build/tools/credhost/credhost.exe"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
clsid=$(sed -n 's/^QM_PROVIDER_CLSID:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ ! -f "$dll" ] || [ ! -f "$credhost" ] || [ -z "$version" ] || [ -z "$clsid" ]; then
  echo "sign: $dll or $credhost is missing; run scripts/build.sh first" >&2
  exit 1
fi

# Tracing is switched off, silently, around every line that holds the password, and back on after
# it when the caller had it on.
tracing=0
case $- in *x*) tracing=1 ;; esac
untraced() { { set +x; } 2>/dev/null; }
traced_again() { if [ "$tracing" = 1 ]; then set -x; fi; }

password=
if [ -n "${QM_SIGN_PASSWORD_FD-}" ]; then
  untraced
  IFS= read -r password <&"$QM_SIGN_PASSWORD_FD" || [ -n "$password" ] ||
    { echo "sign: nothing to read on descriptor $QM_SIGN_PASSWORD_FD" >&2; exit 2; }
  traced_again
else
  if ! { exec 3</dev/tty; } 2>/dev/null; then
    echo "sign: no terminal to ask for the password on; pass it on a descriptor (QM_SIGN_PASSWORD_FD)" >&2
    exit 2
  fi
  untraced
  IFS= read -r -s -p "Password of $pfx: " password <&3
  traced_again
  echo >&2
  exec 3<&-
fi

# The password reaches osslsigncode through a pipe, never its command line (which ps shows).
sign() {
  untraced
  osslsigncode sign -pkcs12 "$pfx" -readpass <(printf '%s' "$password") -h sha256 \
    -n "Quillmere Credential Provider" ${QM_SIGN_TIMESTAMP_URL:+-ts "$QM_SIGN_TIMESTAMP_URL"} \
    -in "$1" -out "$2" >/dev/null || { echo "sign: could not sign $1" >&2; exit 1; }
  traced_again
}

mkdir -p "$out"
package="$out/qm-credprovider-$version-x64.msi"
rm -f "$out/qm-credprovider.dll" "$out/credhost.exe" "$package" "$package.unsigned"
sign "$dll" "$out/qm-credprovider.dll"
sign "$credhost" "$out/credhost.exe"
/usr/bin/python3 "$root/packaging/build_msi.py" --dll "$out/qm-credprovider.dll" --credhost "$out/credhost.exe" --class-id "$clsid" \
  --product-version "$version" --out "$package.unsigned" >/dev/null
sign "$package.unsigned" "$package"
rm -f "$package.unsigned"
echo "sign: $out/qm-credprovider.dll"
echo "sign: $out/credhost.exe"
echo "sign: $package"
