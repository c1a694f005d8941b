#!/usr/bin/env bash
# Times a split of the 10,000-card bench file through Quillmere's window
# under Wine against the Windows build of quillmere-split under Wine on the
# same file. Both write into the same tmpfs folder, emptied before every run;
# the two alternate pair by pair (the first of a pair swaps each time). Prints
# medians and their ratio; the goal is a window run within 1.1 x the tool.
#   bench/window-bench.sh [PAIRS]        (default 9)
# The window run is timed by quillmere-demo-driver from OK in the folder
# browser to the closing message; the tool from its start to its exit. The
# tool's start-up alone (an empty source) is timed too, to show what the
# process start adds to its figure.
# BUILD_DIR and WINEPREFIX choose another build folder and Wine prefix
# (default build/windows and build/wineprefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
pairs=${1:-9}
build=${BUILD_DIR:-$root/build/windows}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target Quillmere quillmere-split quillmere-demo-driver >/dev/null

work="$root/build/bench"
mkdir -p "$work"
[ -f "$work/cards10k.vcf" ] || python3 tools/gen_cards.py 10000 "$work/cards10k.vcf"
: >"$work/empty.vcf"
"$root/tools/wine-prefix.sh"

# Wine's folder browser cannot walk into /dev, so the tmpfs folder is reached
# through a link on drive C: (the tool is given the same path).
shm=$(mktemp -d /dev/shm/quillmere-window-bench.XXXXXX)
link="$WINEPREFIX/drive_c/quillmere-bench"
ln -sfn "$shm" "$link"
trap 'rm -rf "$shm" "$link"' EXIT

export BENCH_PAIRS=$pairs BENCH_SHM=$shm BENCH_SOURCE="$work/cards10k.vcf" BENCH_EMPTY="$work/empty.vcf"
export BENCH_PROGRAM="$build/Quillmere2.6.exe" BENCH_TOOL="$build/quillmere-split.exe"
export BENCH_DRIVER="$build/quillmere-demo-driver.exe"
log="$work/window-bench.log"
echo "window-bench: $pairs pairs, $(grep -c '^BEGIN:VCARD' "$BENCH_SOURCE") cards, output in $shm"
"$root/tools/wine-session.sh" bash -c '
  set -euo pipefail
  exec 2> >(grep -v "Read access denied for device" >&2)  # harmless, about Z:
  folder="C:/quillmere-bench"
  window() {
    rm -rf "$BENCH_SHM"/*
    wine "$BENCH_DRIVER" split "$BENCH_PROGRAM" "$BENCH_SOURCE" "$folder" </dev/null |
      tr -d "\r" | sed -n "s/^run_ms: /window /p; s/^message: /message window /p"
    echo "files window $(ls "$BENCH_SHM" | wc -l)"
  }
  tool() {
    rm -rf "$BENCH_SHM"/*
    wine "$BENCH_DRIVER" time "$BENCH_TOOL" "$BENCH_SOURCE" "$folder" </dev/null |
      tr -d "\r" | sed -n "s/^run_ms: /tool /p"
    echo "files tool $(ls "$BENCH_SHM" | wc -l)"
  }
  wine "$BENCH_DRIVER" time "$BENCH_TOOL" "$BENCH_SOURCE" "$folder" >/dev/null 2>&1 </dev/null || true
  for i in $(seq 1 "$BENCH_PAIRS"); do
    if [ $((i % 2)) -eq 1 ]; then window; tool; else tool; window; fi
    wine "$BENCH_DRIVER" time "$BENCH_TOOL" "$BENCH_EMPTY" "$folder" </dev/null |
      tr -d "\r" | sed -n "s/^run_ms: /start /p"
  done' >"$log"
python3 bench/window_bench_report.py "$log"
