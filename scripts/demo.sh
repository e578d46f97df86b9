#!/usr/bin/env bash
# The main job, from a fresh machine: sets up, builds the provider DLL, its package and the two
# tools, then shows a sign-in from end to end under Wine, in a prefix of the demo's own:
#   install the package with msiexec as an administrator would, install and start the test agent
#   as the service qm-agent with a demo user, show the tile with credhost, sign in with the right
#   password, with a wrong one, and with the service stopped; then remove the service and the
#   package and stop everything this script started.
# Exits 0 only when every step behaved as it should.
#
# The demo's prefix (build/wineprefix-demo) is not the tests' (build/wineprefix): there the tests
# register the same class with regsvr32, behind Windows Installer's back, and a demo interrupted
# with the product installed would leave them a registration they do not expect.
set -euo pipefail
trap 'echo "demo: failed at line $LINENO" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
# shellcheck source=scripts/wine_session.sh
. "$root/scripts/wine_session.sh"

"$root/scripts/setup.sh"
build_log=$(mktemp)
echo "Building qm-credprovider.dll, its package, credhost.exe and test-agent.exe into $build ..."
if ! qm_build "$build" "msi credhost test-agent" >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "demo: the build failed" >&2
  exit 1
fi
rm -f "$build_log"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
clsid=$(qm_build_clsid "$build")
package="$build/qm-credprovider-$version-x64.msi"
credhost="$build/tools/credhost/credhost.exe"
agent="$build/tools/test-agent.exe"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-demo.XXXXXX")

installed=0

remove_quietly() { wine msiexec /x "$package" /qn /norestart >/dev/null 2>&1 || true; }

cleanup() {
  qm_remove_agent_service "$agent"
  if [ "$installed" = 1 ]; then
    remove_quietly
  fi
  qm_stop_own_wineserver
  rm -rf "$work"
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
indent() { sed 's/^/   /'; }
fail() { echo "demo: $*" >&2; exit 1; }

# Shows the msiexec command line, then runs it; a failure ends the demo. The log it names is kept
# after the demo, in the build folder (demo-msiexec-i.log for /i, demo-msiexec-x.log for /x).
msiexec_logged() {
  local log="$build/demo-msiexec-${1#/}.log"
  echo "   msiexec $1 $(basename "$2") /qn /norestart /l*v $log"
  qm_msiexec "$log" "$@" || fail "msiexec $1 exited $?"
}

# Runs a test-agent command; prints its output, indented, and ends the demo when it fails.
agent_command() {
  local rc=0
  wine "$agent" "$@" >"$work/out" 2>&1 || rc=$?
  indent <"$work/out"
  [ "$rc" = 0 ] || fail "test-agent $* exited $rc"
}

# The package's own credhost.exe, beside the DLL, as an administrator finds it.
installed_credhost='C:\Program Files\qm-credprovider\credhost.exe'

# Lists the registered providers with the given credhost, indented, and keeps the list for checks.
list_providers() {
  wine "$1" list >"$work/list"
  indent <"$work/list"
}

# Runs credhost signin with the password on standard input; prints its report, indented, and
# checks its exit code against the expected one.
sign_in() {
  local expected=$1 password=$2 rc=0
  shift 2
  printf '%s\n' "$password" | wine "$credhost" signin "$clsid" "$@" >"$work/out" 2>&1 || rc=$?
  indent <"$work/out"
  [ "$rc" = "$expected" ] || fail "credhost signin exited $rc, expected $expected"
}

# A new prefix makes the first demo take a few seconds longer (wineboot fills it).
qm_begin_session "$build/wineprefix-demo"
# A demo killed before its end leaves the service and the product installed: remove them first,
# quietly.
qm_remove_agent_service "$agent"
remove_quietly

step "1. Install the package in the Wine prefix $WINEPREFIX (msiexec)"
installed=1
msiexec_logged /i "$package"
list_providers "$installed_credhost"
grep -F 'C:\Program Files\qm-credprovider\qm-credprovider.dll' "$work/list" >/dev/null ||
  fail "credhost list does not show the installed provider"

step "2. Install the test agent as the service qm-agent, with a demo user, and start it"
password="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
qm_add_agent_user "$agent" "$work/users.json" "$password" \
  --user demo --full-name "Demo User" --email demo@example.test | indent
echo "   demo user: demo (or demo@example.test), password: $password"
# Wine's service control manager knows neither the service SID type nor the failure flag:
# test-agent warns that it leaves them out, and names the sc command that sets each on Windows.
if ! qm_install_agent_service "$agent" "$work/users.json" "$work/agent.log" >"$work/service" 2>&1; then
  indent <"$work/service"
  [ -f "$work/agent.log" ] && indent <"$work/agent.log"
  fail "the agent service did not install or start"
fi
indent <"$work/service"
head -n 1 "$work/agent.log" | indent
echo "   The installed credhost.exe checks the machine (doctor); Wine's service manager keeps no"
echo "   service SID type, so a warning about it is expected here:"
rc=0
wine "$installed_credhost" doctor >"$work/doctor" 2>&1 || rc=$?
indent <"$work/doctor"
[ "$rc" -le 1 ] || fail "credhost doctor found a failure (exit $rc)"

step "3. The tile, as the sign-in screen shows it (credhost show)"
wine "$credhost" show "$clsid" | indent

step "4. Sign in as demo@example.test with the right password"
sign_in 0 "$password" --user demo@example.test
grep -q 'user name     "demo"' "$work/out" || fail "the serialization does not carry the agent's account name"

step "5. Sign in as demo with a wrong password"
sign_in 1 "not-the-password" --user demo
grep -q 'Invalid username or password' "$work/out" || fail "the agent's reason is not shown"

step "6. The agent's log: one line per request, no password"
# The agent logs a request just after its reply, so its last line may lag credhost a little.
for _ in $(seq 50); do
  [ "$(grep -c ' verdict=' "$work/agent.log")" -ge 2 ] && break
  sleep 0.1
done
tail -n +2 "$work/agent.log" | indent
! grep -q -- "$password" "$work/agent.log" || fail "the agent logged the password"

step "7. Stop the agent service and sign in again"
agent_command service stop
sign_in 1 "$password" --user demo
grep -q 'qm-agent unreachable (pipe timeout)' "$work/out" || fail "the unreachable agent is not reported"

step "8. Remove the agent service and the package (msiexec /x), and stop what the demo started"
agent_command service uninstall
! wine sc query qm-agent >/dev/null 2>&1 || fail "the service qm-agent is still installed"
msiexec_logged /x "$package"
installed=0
list_providers "$credhost"
grep '^0 registered credential provider' "$work/list" >/dev/null || fail "the provider is still registered"
echo
echo "Demo finished: approval, refusal and an unreachable agent, all through the installed package"
echo "and the agent running as a service."
