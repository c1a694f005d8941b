#!/usr/bin/env bash
# Makes the project's Wine prefix (build/wineprefix) once, without questions:
# no window manager needed, Tahoma and Marlett available.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/.quillmere-ready" ] && exit 0

echo "setup: creating the Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
# wineboot needs no display, but any window it opens must not hang on a user.
xvfb-run -a sh -c '
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  # Without a window manager every dialog close waits for one unless Wine
  # draws the frames itself.
  wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
  wineserver -w'
# Wine 8 does not look in /usr/share/wine/fonts: without these Tahoma falls
# back to another face and the caption buttons lose their glyphs.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
touch "$WINEPREFIX/.quillmere-ready"
