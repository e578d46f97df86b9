#!/usr/bin/env bash
# Draws the pictures of the tile in docs/ from the real qm-credprovider.dll: credhost's tile
# window under Wine on a virtual X display (Xvfb), saved by credhost itself (--screenshot).
#   docs/tile-empty.png     the tile as it first appears
#   docs/tile-refused.png   a wrong password: the agent's reason under the fields
#   docs/tile-signed-in.png the right password: the credential decoded (the password's length only)
# The test agent serves a demo user for the last two. Exits 0 only when all three were drawn.
set -euo pipefail
trap 'echo "screenshots: failed at line $LINENO" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh" >/dev/null
QM_SKIP_FUZZ_BUILD=1 QM_BUILD_TARGETS="qm-credprovider credhost test-agent" QM_BUILD_DIR="$build" \
  "$root/scripts/build.sh" >/dev/null

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_run="$build/wine-run"
clsid="{F1E2D3C4-B5A6-4798-9012-3456789ABCDE}"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-screenshots.XXXXXX")
agent_pid=
started_server=0

cleanup() {
  if [ -n "$agent_pid" ]; then
    kill "$agent_pid" 2>/dev/null || true
    wait "$agent_pid" 2>/dev/null || true
  fi
  if [ "$started_server" = 1 ]; then
    wineserver -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Our own wineserver unless one serves the prefix already (see demo.sh for why its output goes away).
mkdir -p "$WINEPREFIX"
if timeout 0.5 wineserver -w; then
  wineserver -p </dev/null >/dev/null 2>&1
  started_server=1
fi
"$wine_run" wineboot </dev/null >/dev/null 2>&1 || true
# Debian's Wine does not use its own fonts: Tahoma for the text, Marlett for the caption buttons.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf /usr/share/wine/fonts/marlett.ttf "$fonts/"

password="demo-$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s\n' "$password" | "$wine_run" "$build/tools/test-agent.exe" add-user --users "$work/users.json" \
  --user demo --full-name "Demo User" >/dev/null
"$wine_run" "$build/tools/test-agent.exe" serve --users "$work/users.json" >"$work/agent.log" 2>&1 &
agent_pid=$!
for _ in $(seq 100); do
  grep -q '^test-agent: serving' "$work/agent.log" 2>/dev/null && break
  sleep 0.2
done
grep -q '^test-agent: serving' "$work/agent.log" || { echo "screenshots: the test agent did not start" >&2; exit 1; }

# draw NAME INPUT [OPTIONS...]: one picture, the window framed by a Wine virtual desktop. The
# DLL is named relative to its folder, so that the window's title shows its file name only.
draw() {
  local name=$1 input=$2
  shift 2
  local picture="$root/docs/$name.png"
  rm -f "$picture"
  (cd "$build/src/module" && printf '%s\n' "$input" | timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
    "$wine_run" explorer /desktop=credhost-screenshots,954x558 "$build/tools/credhost/credhost.exe" window \
    qm-credprovider.dll --clsid "$clsid" --screenshot "Z:${picture//\//\\}" "$@")
  [ -s "$picture" ] || { echo "screenshots: $picture was not drawn" >&2; exit 1; }
  echo "screenshots: docs/$name.png"
}

mkdir -p "$root/docs"
draw tile-empty ""
draw tile-refused "not-the-password" --user demo --submit
draw tile-signed-in "$password" --user demo --submit
