#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root) and makes the
# project's Wine prefix. Does nothing that is already done.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake ninja-build g++ libgtest-dev googletest g++-mingw-w64-i686-posix
  wine wine32:i386 fonts-wine xvfb xauth imagemagick python3 procps time
  clang libclang-rt-14-dev groff-base libutf8proc-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

"$root/tools/wine-prefix.sh"
