#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the main job.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
QM_SKIP_FUZZ_BUILD=1 "$root/scripts/build.sh"

dll="$build/src/module/qm-credprovider.dll"
echo "Built $dll"
x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p'
