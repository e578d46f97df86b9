# shellcheck shell=bash
# Sourced, not run: the steps that the demo, the proofs, the screenshots and the package test
# share to run this build's Windows programs under Wine. Each script keeps its own messages and
# exit codes; these functions only report through their return codes (and the agent's log).
#   qm_build BUILD_DIR "TARGETS"        builds just those targets (no fuzz build)
#   qm_build_clsid BUILD_DIR            prints the provider's class id, as that build read it
#   qm_setup_and_build BUILD_DIR "TARGETS"   the same after setup, both silent unless they fail
#   qm_begin_session PREFIX             enters PREFIX, starts our own wineserver, boots the prefix
# or its steps one by one:
#   qm_enter_prefix PREFIX              the Wine environment for that prefix
#   qm_start_own_wineserver             a wineserver of our own, unless one serves the prefix
#   qm_boot_prefix [WINEBOOT_OPTION]    wineboot, its output away from ours
#   qm_stop_own_wineserver              stops the server only if qm_start_own_wineserver started it
#   qm_add_agent_user AGENT USERS PASSWORD ADD-USER-OPTION...
#   qm_start_test_agent AGENT USERS LOG / qm_stop_test_agent
#   qm_install_agent_service AGENT USERS LOG / qm_remove_agent_service AGENT
#   qm_msiexec LOG MSIEXEC-ARGUMENT...  msiexec silently, with a verbose log
# A script's EXIT trap calls qm_stop_test_agent (or qm_remove_agent_service) and
# qm_stop_own_wineserver (in its own order: the demo removes its package in between, while the
# agent is gone and the server still runs).

qm_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
qm_started_server=0
qm_agent_pid=

qm_build() {
  QM_SKIP_FUZZ_BUILD=1 QM_BUILD_TARGETS="$2" QM_BUILD_DIR="$1" "$qm_scripts/build.sh"
}

# The class id is written once, in include/provider_class_id.h; the build keeps what it read
# there in its cache. Fails when the build has not been configured.
qm_build_clsid() {
  local clsid
  clsid=$(sed -n 's/^QM_PROVIDER_CLSID:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null)
  [ -n "$clsid" ] && printf '%s\n' "$clsid"
}

qm_setup_and_build() {
  "$qm_scripts/setup.sh" >/dev/null
  qm_build "$@" >/dev/null
}

# The caller's EXIT trap, which calls qm_stop_own_wineserver, is set before this runs. A failed
# wineboot is not fatal here: the first Wine program run then reports what is wrong.
qm_begin_session() {
  qm_enter_prefix "$1"
  qm_start_own_wineserver
  qm_boot_prefix || true
}

# Without the overrides Wine offers to install Mono and Gecko into a new prefix.
qm_enter_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# The server is started with its output away from ours: Wine's services inherit the output of
# whatever starts them and would hold the caller's pipe (a terminal's, or ctest's) open. One that
# already serves the prefix is used and left running. The server needs the prefix's folder.
qm_start_own_wineserver() {
  mkdir -p "$WINEPREFIX"
  if timeout 0.5 wineserver -w; then
    wineserver -p </dev/null >/dev/null 2>&1
    qm_started_server=1
  fi
}

# wineboot fills a new prefix (a few seconds; -i always) and starts its services, which inherit
# its output like the server's.
# shellcheck disable=SC2120  # the package test passes -i
qm_boot_prefix() {
  wineboot "$@" </dev/null >/dev/null 2>&1
}

qm_stop_own_wineserver() {
  if [ "$qm_started_server" = 1 ]; then
    wineserver -k 2>/dev/null || true
  fi
}

# The password goes to add-user on standard input, never on a command line (which ps shows).
qm_add_agent_user() {
  local agent=$1 users=$2 password=$3
  shift 3
  printf '%s\n' "$password" | wine "$agent" add-user --users "$users" "$@"
}

# Starts test-agent.exe serving USERS, its output in LOG, and waits up to 20 s for it to say it
# serves. Returns 0 once it does, 1 when the agent exited first (LOG says why), 2 on time-out.
qm_start_test_agent() {
  local agent=$1 users=$2 log=$3
  wine "$agent" serve --users "$users" >"$log" 2>&1 &
  qm_agent_pid=$!
  for _ in $(seq 100); do
    grep -q '^test-agent: serving' "$log" 2>/dev/null && return 0
    kill -0 "$qm_agent_pid" 2>/dev/null || { qm_stop_test_agent; return 1; }
    sleep 0.2
  done
  grep -q '^test-agent: serving' "$log" && return 0
  return 2
}

qm_stop_test_agent() {
  if [ -n "$qm_agent_pid" ]; then
    kill "$qm_agent_pid" 2>/dev/null || true
    wait "$qm_agent_pid" 2>/dev/null || true
    qm_agent_pid=
  fi
}

# Installs test-agent.exe as the service qm-agent of the prefix's service control manager,
# serving USERS and logging to LOG (both stored as absolute paths), and starts it; returns once
# it serves, non-zero when either step failed (its output says why).
qm_install_agent_service() {
  local agent=$1 users=$2 log=$3
  wine "$agent" service install --users "$users" --log "$log" && wine "$agent" service start
}

# Stops and removes the service, quietly; nothing happens when it is not installed.
qm_remove_agent_service() {
  wine "$1" service uninstall >/dev/null 2>&1 || true
}

# Runs msiexec as a deployment tool would: silent, with a verbose log in LOG. Under Wine its exit
# code reaches us cut to 8 bits (1603 becomes 67), so any non-zero code is a failure: the log's
# end then goes to standard error and the code is returned.
qm_msiexec() {
  local log=$1 rc=0
  shift
  wine msiexec "$@" /qn /norestart /l*v "$log" || rc=$?
  [ "$rc" = 0 ] && return 0
  tr -d '\r' <"$log" | tail -n 40 >&2
  return "$rc"
}
