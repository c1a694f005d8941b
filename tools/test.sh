#!/usr/bin/env bash
# Runs every test: the core and the command-line tool natively, again with
# sanitizers (address and undefined behaviour; threads, for the parallel card
# writers), and the Windows build (core, window, resources) under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"

for preset in native native-asan native-tsan windows; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

rc=0
echo "== test: native"
ctest --preset native || rc=1
echo "== test: native-asan"
ctest --preset native-asan || rc=1
echo "== test: native-tsan"
ctest --preset native-tsan || rc=1
if [ -f tests/fuzz/CMakeLists.txt ]; then
  echo "== fuzz: 60 s"
  "$root/tools/fuzz.sh" 60 || rc=1
fi
echo "== test: windows (under Wine)"
"$root/tools/wine-session.sh" ctest --preset windows || rc=1
exit $rc
