#!/usr/bin/env bash
# The main job, from a fresh machine: sets up, builds the provider DLL, its package and the two
# tools, then shows a sign-in from end to end under Wine, in a prefix of the demo's own:
#   install the package with msiexec as an administrator would, start the test agent with a demo
#   user, show the tile with credhost, sign in with the right password, with a wrong one, and
#   with the agent stopped; then remove the package and stop everything this script started.
# Exits 0 only when every step behaved as it should.
#
# The demo's prefix (build/wineprefix-demo) is not the tests' (build/wineprefix): there the tests
# register the same class with regsvr32, behind Windows Installer's back, and a demo interrupted
# with the product installed would leave them a registration they do not expect.
set -euo pipefail
trap 'echo "demo: failed at line $LINENO" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
build_log=$(mktemp)
echo "Building qm-credprovider.dll, its package, credhost.exe and test-agent.exe into $build ..."
if ! QM_SKIP_FUZZ_BUILD=1 QM_BUILD_TARGETS="msi credhost test-agent" \
    QM_BUILD_DIR="$build" "$root/scripts/build.sh" >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "demo: the build failed" >&2
  exit 1
fi
rm -f "$build_log"

export WINEPREFIX="$build/wineprefix-demo" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
package="$build/qm-credprovider-$version-x64.msi"
credhost="$build/tools/credhost/credhost.exe"
agent="$build/tools/test-agent.exe"
clsid="{F1E2D3C4-B5A6-4798-9012-3456789ABCDE}"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-demo.XXXXXX")

started_server=0
installed=0
agent_pid=

stop_agent() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2>/dev/null || true
    wait "$agent_pid" 2>/dev/null || true
    agent_pid=
  fi
}

cleanup() {
  stop_agent
  if [ "$installed" = 1 ]; then
    wine msiexec /x "$package" /qn /norestart >/dev/null 2>&1 || true
  fi
  if [ "$started_server" = 1 ]; then
    wineserver -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
indent() { sed 's/^/   /'; }
fail() { echo "demo: $*" >&2; exit 1; }

# Runs msiexec silently with a verbose log, as a deployment tool would, and shows the log's end
# when it fails. Under Wine its exit code is cut to 8 bits, so any non-zero code is a failure.
msiexec_logged() {
  local rc=0
  echo "   msiexec $1 $(basename "$2") /qn /norestart /l*v msiexec.log"
  wine msiexec "$@" /qn /norestart /l*v "$work/msiexec.log" || rc=$?
  [ "$rc" = 0 ] && return 0
  tr -d '\r' <"$work/msiexec.log" | tail -n 30 >&2
  fail "msiexec $1 exited $rc"
}

# Lists the registered providers with credhost, indented, and keeps the list for checks.
list_providers() {
  wine "$credhost" list >"$work/list"
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

# A wineserver of our own, started with its output away from ours: Wine's services inherit the
# output of whatever starts them and would hold this script's pipe open. One that already
# serves the prefix is used and left running. The server needs the prefix's folder; wineboot
# fills a new one (so the first demo takes a few seconds longer).
mkdir -p "$WINEPREFIX"
if timeout 0.5 wineserver -w; then
  wineserver -p </dev/null >/dev/null 2>&1
  started_server=1
fi
wineboot </dev/null >/dev/null 2>&1 || true
# A demo killed before its end leaves the product installed: remove it first, quietly.
wine msiexec /x "$package" /qn /norestart >/dev/null 2>&1 || true

step "1. Install the package in the Wine prefix $WINEPREFIX (msiexec)"
installed=1
msiexec_logged /i "$package"
list_providers
grep -F 'C:\Program Files\qm-credprovider\qm-credprovider.dll' "$work/list" >/dev/null ||
  fail "credhost list does not show the installed provider"

step "2. Start the test agent with a demo user"
password="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$password" | wine "$agent" add-user --users "$work/users.json" \
  --user demo --full-name "Demo User" --email demo@example.test | indent
echo "   demo user: demo (or demo@example.test), password: $password"
wine "$agent" serve --users "$work/users.json" >"$work/agent.log" 2>&1 &
agent_pid=$!
for _ in $(seq 100); do
  grep -q '^test-agent: serving' "$work/agent.log" 2>/dev/null && break
  kill -0 "$agent_pid" 2>/dev/null || { cat "$work/agent.log" >&2; fail "the test agent did not start"; }
  sleep 0.2
done
grep -q '^test-agent: serving' "$work/agent.log" || fail "the test agent did not start in time"
head -n 1 "$work/agent.log" | indent

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

step "7. Sign in with the agent stopped"
stop_agent
sign_in 1 "$password" --user demo
grep -q 'qm-agent unreachable (pipe timeout)' "$work/out" || fail "the unreachable agent is not reported"

step "8. Remove the package (msiexec /x) and stop what the demo started"
msiexec_logged /x "$package"
installed=0
list_providers
grep '^0 registered credential provider' "$work/list" >/dev/null || fail "the provider is still registered"
echo
echo "Demo finished: approval, refusal and an unreachable agent, all through the installed package."
