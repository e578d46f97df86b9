#!/usr/bin/env bash
# The package's whole life cycle under Wine's Windows Installer, in a new prefix of its own (it
# shares no registration with the other tests), with the command lines of docs/deployment.md:
#   install, with INSTALLDIR= and the folder's own property on the command line: the registry
#            holds exactly what DllRegisterServer writes for C:\Program Files\qm-credprovider,
#            the files are there and nowhere else, and the installed credhost.exe signs in through
#            the class id against test-agent.exe;
#   the administrator disables the provider (Disabled) and adds a value of their own;
#   upgrade to a higher version (same file, derived package, built by an interpreter that lacks
#            Debian's modules): one product, still disabled, the added value kept, still signs in;
#   downgrade: refused, nothing changed;
#   repair: a deleted value and the deleted file come back, still disabled; enabled and disabled
#            again with the Disabled value;
#   uninstall with the provider disabled: no key, value, file or product left;
#   recovery: the keys deleted by hand (as from the recovery environment), then the product
#            removed by its product code.
# Usage: msi_life_cycle.sh PACKAGE DLL CREDHOST TEST_AGENT PREFIX CLASS_ID
# (CLASS_ID: the provider's, as the build read it from include/provider_class_id.h)
# Prints each msiexec step's time. The prefix is removed after a pass and kept after a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/wine_session.sh
. "$root/scripts/wine_session.sh"
package=$1 dll=$2 credhost=$3 agent=$4 clsid=$6
qm_enter_prefix "$5"
build_msi=$root/packaging/build_msi.py

class_key="HKLM\\SOFTWARE\\Classes\\CLSID\\$clsid"
provider_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\$clsid"
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
install_dir="$WINEPREFIX/drive_c/Program Files/qm-credprovider"
# The package's own credhost.exe, as an administrator finds it beside the DLL.
installed_credhost='C:\Program Files\qm-credprovider\credhost.exe'
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-msi.XXXXXX")
passed=0

cleanup() {
  qm_stop_test_agent
  qm_stop_own_wineserver
  rm -rf "$work"
  if [ "$passed" = 1 ]; then rm -rf "$WINEPREFIX"; fi
}
trap cleanup EXIT

fail() { echo "package: FAIL: $*" >&2; exit 1; }
now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
reg_text() { wine reg "$@" 2>/dev/null | tr -d '\r' | sed '/^$/d'; }

# One msiexec step, timed; a failure ends the test.
msiexec_ok() {
  local step=$1 start
  shift
  start=$(now)
  qm_msiexec "$work/$step.log" "$@" || fail "msiexec $step exited $?"
  echo "package: $step took $(seconds_since "$start") s"
}

registration() { reg_text query "$class_key" /s; reg_text query "$provider_key" /s; }

expect_registered() {
  local actual
  actual=$(registration) || true
  [ "$actual" = "$self_registered" ] ||
    fail "after $1 the registry differs from DllRegisterServer's: $(diff <(echo "$self_registered") <(echo "$actual"))"
}

# The products of this upgrade code that Windows Installer lists, as "name version" lines.
products() {
  reg_text query "$uninstall_key" /s |
    awk '/^HKEY/ { name = "" } $1 == "DisplayName" { name = $3 " " $4 " " $5 }
         $1 == "DisplayVersion" && name == "Quillmere Credential Provider" { print name, $3 }'
}

expect_one_product() {
  [ "$(products)" = "Quillmere Credential Provider $1" ] || fail "expected one product $1, found: $(products)"
}

sign_in() {
  local step=$1
  shift
  printf '%s\n' "$password" | wine "$installed_credhost" signin "$clsid" --user demo "$@" >"$work/signin.out" 2>&1 ||
    { cat "$work/signin.out" >&2; fail "credhost signin through the installed class failed ($step)"; }
}

expect_removed() {
  reg_text query "$class_key" >/dev/null && fail "$1 left $class_key"
  reg_text query "$provider_key" >/dev/null && fail "$1 left $provider_key"
  [ ! -e "$install_dir" ] || fail "$1 left $install_dir"
  [ -z "$(products)" ] || fail "$1 left the product registered: $(products)"
}

# A new prefix. A persistent server that an interrupted run left serving this test's prefix
# would outlive the folder's removal for good: stop it first. Then ours starts.
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
qm_start_own_wineserver
start=$(now)
qm_boot_prefix -i
echo "package: new prefix in $(seconds_since "$start") s"

version=$(msiinfo export "$package" Property | tr -d '\r' | awk '$1 == "ProductVersion" { print $2 }')
IFS=. read -r major minor build _ <<<"$version"
higher="$major.$minor.$((build + 1)).0"
# -S hides Debian's modules (pefile) from the interpreter, as a python3 of pyenv's would.
/usr/bin/python3 -S "$build_msi" --dll "$dll" --credhost "$credhost" --class-id "$clsid" --product-version "$higher" --out "$work/higher.msi" >/dev/null
/usr/bin/python3 "$build_msi" --dll "$dll" --credhost "$credhost" --class-id "$clsid" --product-version 0.0.1.0 --out "$work/lower.msi" >/dev/null
echo "package: $(basename "$package"), $(stat -c %s "$package") bytes"

# What DllRegisterServer writes for the DLL at the installed path: the package must write the same.
mkdir -p "$install_dir"
cp "$dll" "$install_dir/"
wine regsvr32 /s 'C:\Program Files\qm-credprovider\qm-credprovider.dll' || fail "regsvr32 failed"
self_registered=$(registration)
wine regsvr32 /s /u 'C:\Program Files\qm-credprovider\qm-credprovider.dll'
rm -rf "$install_dir"
[ "$(echo "$self_registered" | grep -c REG_SZ)" = 4 ] || fail "DllRegisterServer wrote: $self_registered"
expect_removed "regsvr32 /u"

# The folder is not the command line's to choose: neither the public INSTALLDIR nor the folder's
# own (private) property moves it.
msiexec_ok install /i "$package" 'INSTALLDIR=C:\users\Public\qm' 'InstallFolder=C:\users\Public\qm'
expect_registered "the install"
cmp -s "$dll" "$install_dir/qm-credprovider.dll" || fail "the installed file differs from the built DLL"
cmp -s "$credhost" "$install_dir/credhost.exe" || fail "the installed credhost.exe differs from the built one"
[ ! -e "$WINEPREFIX/drive_c/users/Public/qm" ] || fail "INSTALLDIR= on the command line made C:\users\Public\qm"
expect_one_product "$version"

password="pkg-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
qm_add_agent_user "$agent" "$work/users.json" "$password" --user demo >/dev/null
qm_start_test_agent "$agent" "$work/users.json" "$work/agent.log" ||
  { cat "$work/agent.log" >&2; fail "the test agent did not start"; }
sign_in "installed"

# The administrator's own values on the provider's key: upgrades and repairs keep them.
wine reg add "$provider_key" /v Disabled /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$provider_key" /v AdminNote /t REG_SZ /d "disabled by the help desk" /f >/dev/null
reg_text query "$provider_key" /v Disabled | grep 'REG_DWORD *0x1' >/dev/null || fail "Disabled was not set"
wine "$installed_credhost" list | tr -d '\r' | grep "^  $clsid .*(disabled)\$" >/dev/null || fail "credhost list does not say the provider is disabled"
administered=$(registration)
expect_administered() {
  local actual
  actual=$(registration) || true
  [ "$actual" = "$administered" ] ||
    fail "after $1 the administrator's values are lost: $(diff <(echo "$administered") <(echo "$actual"))"
}

msiexec_ok upgrade /i "$work/higher.msi"
expect_one_product "$higher"
expect_administered "the upgrade"
sign_in "upgraded" --scenario credui

rc=0
wine msiexec /i "$work/lower.msi" /qn /norestart /l*v "$work/downgrade.log" || rc=$?
[ "$rc" != 0 ] || fail "the downgrade to 0.0.1.0 was not refused"
tr -d '\r' <"$work/downgrade.log" | grep '^Property(S): WIX_DOWNGRADE_DETECTED = {' >/dev/null ||
  fail "the downgrade was refused for another reason: $(tr -d '\r' <"$work/downgrade.log" | tail -n 20)"
# Windows shows and logs the launch condition's text; Wine's msi does neither, so read it.
msiinfo export "$work/lower.msi" LaunchCondition | grep 'A newer version of Quillmere Credential Provider is already installed' >/dev/null ||
  fail "the downgrade message is missing"
expect_one_product "$higher"
expect_administered "the refused downgrade"
sign_in "after the refused downgrade" --scenario unlock
qm_stop_test_agent

wine reg delete "$class_key\\InprocServer32" /v ThreadingModel /f >/dev/null
rm "$install_dir/qm-credprovider.dll"
msiexec_ok repair /i "$work/higher.msi" REINSTALL=ALL REINSTALLMODE=omus
expect_administered "the repair"
cmp -s "$dll" "$install_dir/qm-credprovider.dll" || fail "the repair did not restore the file"

# Enabled again, and disabled again for the removal.
wine reg delete "$provider_key" /v Disabled /f >/dev/null
wine "$installed_credhost" list | tr -d '\r' | grep "^  $clsid " | grep -v '(disabled)' >/dev/null || fail "credhost list still says the provider is disabled"
wine reg add "$provider_key" /v Disabled /t REG_DWORD /d 1 /f >/dev/null

# The administrator's values must not keep the provider's key alive after removal.
msiexec_ok uninstall /x "$work/higher.msi"
expect_removed "msiexec /x"

# Recovery: the keys deleted by hand (the commands an offline hive or the remote registry takes),
# and then the product removed by its product code, which then finds nothing to unregister.
msiexec_ok reinstall /i "$package"
wine reg delete "$provider_key" /f >/dev/null
wine reg delete "$class_key" /f >/dev/null
wine "$installed_credhost" list | tr -d '\r' | grep '^0 registered credential provider(s)' >/dev/null ||
  fail "credhost list still lists a provider after the keys were deleted"
product_code=$(msiinfo export "$package" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }')
msiexec_ok uninstall-by-code /x "$product_code"
expect_removed "msiexec /x $product_code"

passed=1
echo "package: life cycle passed"
