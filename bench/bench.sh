#!/usr/bin/env bash
# Times quillmere-split (one writer, two, and the default number of writers)
# against GNU csplit and a minimal C floor (bench/floor.c, with one thread and
# with two: "x best" is the ratio to the better of the two) on three generated
# sources, runs alternating, each into a fresh folder in tmpfs; prints
# medians, ratios to the floor, the spread and peak memory. Then the small
# source once more with the output on disk, for reference.
#   bench/bench.sh [ROUNDS]
# The output goes to tmpfs because creating files on the machine's disk is
# so noisy that its spread swamps the differences being measured.
set -euo pipefail
rounds=${1:-9}
source "$(dirname "$0")/inputs.sh"
gcc -O2 -o "$work/floor" bench/floor.c -lpthread
commands=("quillmere-split-j1=$split --jobs 1 {src} {out}"
  "quillmere-split-j2=$split --jobs 2 {src} {out}"
  "quillmere-split=$split {src} {out}"
  "floor=$work/floor {src} {out}"
  "floor-2t=$work/floor {src} {out} 2"
  "csplit=csplit -s -z -f {out}/vCard -b %d.vcf {src} /^BEGIN:VCARD/ {{*}}")
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 bench/compare.py --rounds "$rounds" --source "$small" --source "$some" --source "$photos" \
  "${commands[@]}"
# The small source once more with the default started by a small parent
# that forks and waits (GNU time): such a parent hands down a small table of
# open files, whose growing once stalled the writers (1.3 to 1.7 x slower);
# kept in view here.
python3 bench/compare.py --rounds "$rounds" --source "$small" \
  "quillmere-split=$split {src} {out}" "quillmere-split+time=/usr/bin/time -o /dev/null $split {src} {out}" \
  "floor=$work/floor {src} {out}" "floor-2t=$work/floor {src} {out} 2" \
  "floor-2t+time=/usr/bin/time -o /dev/null $work/floor {src} {out} 2"
# The same on disk: noisier, recorded with its spread.
mkdir -p "$work/disk"
python3 bench/compare.py --rounds 3 --source "$small" --out-base "$work/disk" "${commands[@]}"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
