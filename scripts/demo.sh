#!/usr/bin/env bash
# The main job, from a fresh machine: sets up, builds the provider DLL and the two tools, then
# shows a sign-in from end to end under Wine, in the build's private prefix:
#   register the DLL with regsvr32, start the test agent with a demo user, show the tile with
#   credhost, sign in with the right password, with a wrong one, and with the agent stopped;
#   then unregister the DLL and stop everything this script started.
# Exits 0 only when every step behaved as it should.
set -euo pipefail
trap 'echo "demo: failed at line $LINENO" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
build_log=$(mktemp)
echo "Building qm-credprovider.dll, credhost.exe and test-agent.exe into $build ..."
if ! QM_SKIP_FUZZ_BUILD=1 QM_BUILD_TARGETS="qm-credprovider credhost test-agent" \
    QM_BUILD_DIR="$build" "$root/scripts/build.sh" >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "demo: the build failed" >&2
  exit 1
fi
rm -f "$build_log"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_run="$build/wine-run"
dll="$build/src/module/qm-credprovider.dll"
credhost="$build/tools/credhost/credhost.exe"
agent="$build/tools/test-agent.exe"
clsid="{F1E2D3C4-B5A6-4798-9012-3456789ABCDE}"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-demo.XXXXXX")

started_server=0
registered=0
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
  if [ "$registered" = 1 ]; then
    "$wine_run" regsvr32 /s /u "$dll" >/dev/null 2>&1 || true
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

# Runs credhost signin with the password on standard input; prints its report, indented, and
# checks its exit code against the expected one.
sign_in() {
  local expected=$1 password=$2 rc=0
  shift 2
  printf '%s\n' "$password" | "$wine_run" "$credhost" signin "$clsid" "$@" >"$work/out" 2>&1 || rc=$?
  indent <"$work/out"
  [ "$rc" = "$expected" ] || fail "credhost signin exited $rc, expected $expected"
}

# A wineserver of our own, started with its output away from ours: Wine's services inherit the
# output of whatever starts them and would hold this script's pipe open. One that already
# serves the prefix (say, of a test run) is used and left running. The server needs the
# prefix's folder; wineboot fills a new one.
mkdir -p "$WINEPREFIX"
if timeout 0.5 wineserver -w; then
  wineserver -p </dev/null >/dev/null 2>&1
  started_server=1
fi
"$wine_run" wineboot </dev/null >/dev/null 2>&1 || true

step "1. Register the provider DLL in the Wine prefix $WINEPREFIX (regsvr32)"
"$wine_run" regsvr32 /s "$dll" || fail "regsvr32 failed"
registered=1
"$wine_run" "$credhost" list | indent

step "2. Start the test agent with a demo user"
password="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$password" | "$wine_run" "$agent" add-user --users "$work/users.json" \
  --user demo --full-name "Demo User" --email demo@example.test | indent
echo "   demo user: demo (or demo@example.test), password: $password"
"$wine_run" "$agent" serve --users "$work/users.json" >"$work/agent.log" 2>&1 &
agent_pid=$!
for _ in $(seq 100); do
  grep -q '^test-agent: serving' "$work/agent.log" 2>/dev/null && break
  kill -0 "$agent_pid" 2>/dev/null || { cat "$work/agent.log" >&2; fail "the test agent did not start"; }
  sleep 0.2
done
grep -q '^test-agent: serving' "$work/agent.log" || fail "the test agent did not start in time"
head -n 1 "$work/agent.log" | indent

step "3. The tile, as the sign-in screen shows it (credhost show)"
"$wine_run" "$credhost" show "$clsid" | indent

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

step "8. Unregister the DLL and stop what the demo started"
"$wine_run" regsvr32 /s /u "$dll" || fail "regsvr32 /u failed"
registered=0
"$wine_run" "$credhost" list | indent
echo
echo "Demo finished: approval, refusal and an unreachable agent, all through the real DLL."
