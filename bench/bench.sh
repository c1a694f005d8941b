#!/usr/bin/env bash
# Times quillmere-split against GNU csplit and a minimal C floor on a
# generated 10,000-card file, output into tmpfs, runs alternating, each into
# a fresh folder; prints medians, ratios and peak memory. Then peak memory of
# quillmere-split on a 130 MB file of 15,000 cards with photos, and the first
# comparison again with the output on disk.
#   bench/bench.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-9}
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split >/dev/null
work="$root/build/bench"; mkdir -p "$work"
gcc -O2 -o "$work/floor" bench/floor.c
[ -f "$work/cards10k.vcf" ] || python3 tools/gen_cards.py 10000 "$work/cards10k.vcf"
[ -f "$work/photos15k.vcf" ] || python3 tools/gen_cards.py 15000 "$work/photos15k.vcf" --photo-bytes 8300
commands=(quillmere-split="$root/build/native/quillmere-split {src} {out}"
  floor="$work/floor {src} {out}"
  csplit="csplit -s -z -f {out}/vCard -b %d.vcf {src} /^BEGIN:VCARD/ {{*}}")
python3 bench/compare.py --rounds "$rounds" --source "$work/cards10k.vcf" --big "$work/photos15k.vcf" \
  "${commands[@]}"
# The same on disk: noisier, recorded with its spread.
mkdir -p "$work/disk"
python3 bench/compare.py --rounds 5 --source "$work/cards10k.vcf" --out-base "$work/disk" "${commands[@]}"
