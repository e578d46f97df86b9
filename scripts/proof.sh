#!/usr/bin/env bash
# The long proofs, which the test command runs only shortened: the soak with 10 000 sign-ins
# (QM_SOAK_SIGN_INS to change it) against test-agent.exe, and the sign-in benchmark. Builds what
# they need first, then prints their figures (docs/performance.md says how to read them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh" >/dev/null
QM_SKIP_FUZZ_BUILD=1 QM_BUILD_TARGETS="test_soak sign_in_bench" QM_BUILD_DIR="$build" \
  "$root/scripts/build.sh" >/dev/null

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A wineserver of our own, with its output away from ours (Wine's services would hold our
# pipe); one that already serves the prefix is used and left running.
started_server=0
mkdir -p "$WINEPREFIX"
if timeout 0.5 wineserver -w; then
  wineserver -p </dev/null >/dev/null 2>&1
  started_server=1
fi
trap '[ "$started_server" = 1 ] && wineserver -k 2>/dev/null || true' EXIT
"$build/wine-run" wineboot </dev/null >/dev/null 2>&1 || true

echo "== Machine"
echo "   $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(wine --version)"
echo "== Soak: ${QM_SOAK_SIGN_INS:=10000} sign-ins"
QM_SOAK_SIGN_INS=$QM_SOAK_SIGN_INS "$build/wine-run" "$build/tests/soak/test_soak.exe" | grep -E '^soak:|PASSED|FAILED'
echo "== Benchmark"
"$build/wine-run" "$build/bench/sign_in_bench.exe"
