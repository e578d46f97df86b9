#!/usr/bin/env bash
# Builds the Windows binaries (the DLL, the tools and the test programs) with mingw-w64 into
# build/, credhost for 32-bit Windows into build-x86/, and the native sanitizer build of the
# portable code into build-fuzz/.
# QM_BUILD_TARGETS="a b" builds only those targets of build/ (the demo needs three).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
jobs=$(nproc)

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
# shellcheck disable=SC2086  # the target list is split on purpose
cmake --build "$build" -j "$jobs" ${QM_BUILD_TARGETS:+--target $QM_BUILD_TARGETS}

# credhost for 32-bit Windows, in build-x86/: its prompt command is how a tester reaches the
# credential prompt's 32-bit caller path. Only credhost is built there, on a full build.
if [ -z "${QM_BUILD_TARGETS:-}" ] && [ "${QM_SKIP_X86_BUILD:-0}" != 1 ]; then
  x86build=${QM_X86_BUILD_DIR:-$root/build-x86}
  cmake -S "$root" -B "$x86build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF >/dev/null
  cmake --build "$x86build" -j "$jobs" --target credhost
fi

if [ "${QM_SKIP_FUZZ_BUILD:-0}" != 1 ] && [ -f "$root/fuzz/CMakeLists.txt" ]; then
  fuzzbuild=${QM_FUZZ_BUILD_DIR:-$root/build-fuzz}
  CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$fuzzbuild" -j "$jobs"
fi
