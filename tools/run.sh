#!/usr/bin/env bash
# Builds Quillmere2.6.exe and runs it under Wine.
#   With a display (DISPLAY set): starts the program for you.
#   Without one: starts a virtual display (Xvfb), splits samples/contacts.vcf
#   through the real window and its dialogs into build/sample-output, saves a
#   screenshot of the window showing the final count as build/screenshot.png,
#   and prints where both are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Quillmere quillmere-demo-driver

export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
program="$root/build/windows/Quillmere2.6.exe"

if [ -n "${DISPLAY:-}" ]; then
  # A Wine server left from a session without this display would keep the
  # window from showing.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  echo "Starting $program"
  exec wine "$program"
fi

export RUN_PROGRAM="$program" RUN_DRIVER="$root/build/windows/quillmere-demo-driver.exe"
export RUN_SOURCE="$root/samples/contacts.vcf" RUN_OUTPUT="$root/build/sample-output"
export RUN_SHOT="$root/build/screenshot.png" RUN_LOG="$root/build/sample-run.log"
rm -rf "$RUN_OUTPUT" "$RUN_SHOT"
mkdir -p "$RUN_OUTPUT"
echo "No display: splitting $RUN_SOURCE through the window in a virtual display"
"$root/tools/wine-session.sh" bash -c '
  set -euo pipefail
  wine "$RUN_DRIVER" split "$RUN_PROGRAM" "$RUN_SOURCE" "$RUN_OUTPUT" --keep-open \
    >"$RUN_LOG" 2>&1 </dev/null || { cat "$RUN_LOG"; exit 1; }
  read -r x y w h < <(sed -n "s/^window: //p" "$RUN_LOG" | tr -d "\r")
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$RUN_SHOT"
  wine "$RUN_DRIVER" close >/dev/null 2>&1 </dev/null || true'

tr -d '\r' <"$RUN_LOG" | sed -n 's/^message: /The window said: /p; s/^label: /The progress label shows: /p'
echo "The cards are in $RUN_OUTPUT:"
ls -l "$RUN_OUTPUT"
echo "The screenshot of the window is $RUN_SHOT"
