#!/usr/bin/env bash
# Runs a command (usually ctest) inside one Xvfb session with one long-lived
# wineserver, so Windows tests start fast and see a display.
#   tools/wine-session.sh COMMAND [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix.sh"
# A server left from another display would make our windows invisible.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p >/dev/null 2>&1 </dev/null
  # Start the background services on /dev/null, or they keep the caller'"'"'s
  # output pipe open and ctest waits for them forever.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  rc=0; "$@" || rc=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  exit $rc' bash "$@"
