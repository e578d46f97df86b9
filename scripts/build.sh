#!/usr/bin/env bash
# Builds the Windows binaries (the DLL, the tools and the test programs) with mingw-w64 into
# build/, and the native sanitizer build of the portable code into build-fuzz/.
# QM_BUILD_TARGETS="a b" builds only those targets of build/ (the demo needs three).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
jobs=$(nproc)

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
# shellcheck disable=SC2086  # the target list is split on purpose
cmake --build "$build" -j "$jobs" ${QM_BUILD_TARGETS:+--target $QM_BUILD_TARGETS}

if [ "${QM_SKIP_FUZZ_BUILD:-0}" != 1 ] && [ -f "$root/fuzz/CMakeLists.txt" ]; then
  fuzzbuild=${QM_FUZZ_BUILD_DIR:-$root/build-fuzz}
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$fuzzbuild" -j "$jobs"
fi
