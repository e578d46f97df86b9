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

# shellcheck source=scripts/wine_session.sh
. "$root/scripts/wine_session.sh"
qm_setup_and_build "$build" "qm-credprovider credhost test-agent"
clsid=$(qm_build_clsid "$build")

wine_run="$build/wine-run"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-screenshots.XXXXXX")

cleanup() {
  qm_stop_test_agent
  qm_stop_own_wineserver
  rm -rf "$work"
}
trap cleanup EXIT

qm_begin_session "$build/wineprefix"
# Debian's Wine does not use its own fonts: Tahoma for the text, Marlett for the caption buttons.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf /usr/share/wine/fonts/marlett.ttf "$fonts/"

password="demo-$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
qm_add_agent_user "$build/tools/test-agent.exe" "$work/users.json" "$password" \
  --user demo --full-name "Demo User" >/dev/null
qm_start_test_agent "$build/tools/test-agent.exe" "$work/users.json" "$work/agent.log" ||
  { echo "screenshots: the test agent did not start" >&2; exit 1; }

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
