#!/usr/bin/env bash
# The long proofs, which the test command runs only shortened: the soak with 10 000 sign-ins
# (QM_SOAK_SIGN_INS to change it) against test-agent.exe, and the sign-in benchmark. Builds what
# they need first, then prints their figures (docs/performance.md says how to read them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

# shellcheck source=scripts/wine_session.sh
. "$root/scripts/wine_session.sh"
qm_setup_and_build "$build" "test_soak sign_in_bench"
trap qm_stop_own_wineserver EXIT
qm_begin_session "$build/wineprefix"

echo "== Machine"
echo "   $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(wine --version)"
echo "== Soak: ${QM_SOAK_SIGN_INS:=10000} sign-ins"
QM_SOAK_SIGN_INS=$QM_SOAK_SIGN_INS "$build/wine-run" "$build/tests/soak/test_soak.exe" | grep -E '^soak:|PASSED|FAILED'
echo "== Benchmark"
"$build/wine-run" "$build/bench/sign_in_bench.exe"
