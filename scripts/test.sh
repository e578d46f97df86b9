#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the Wine test programs under
# ctest, then a short run of each fuzz target over its seed corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

# A wineserver left over from an interrupted run would hold the prefix; stop only our own.
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
(cd "$build" && ctest -j2 --output-on-failure)

if [ -x "$root/scripts/fuzz.sh" ]; then
  "$root/scripts/fuzz.sh" smoke
fi
