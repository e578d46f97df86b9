#!/usr/bin/env bash
# Installs everything that building, testing, fuzzing and the demo need on a Debian 12 machine.
# Run as root. Safe to run again: it installs only what is missing, and updates the package
# lists once, only when something is missing.
set -euo pipefail

packages=(
  cmake make ninja-build git ca-certificates
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  # The 32-bit credhost (build-x86/). Not wine32: where the kernel runs no 32-bit programs, its
  # loader takes /usr/bin/wine's place and every Wine start fails (checked).
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine64
  googletest
  clang libclang-rt-14-dev
  nlohmann-json3-dev
  python3 python3-pefile
  wixl msitools osslsigncode openssl
  xvfb xauth fonts-dejavu-core fonts-wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
