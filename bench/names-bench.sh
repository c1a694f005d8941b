#!/usr/bin/env bash
# quillmere-split --names against the numbered split on the generated
# benchmark sources (10,000 small cards; 15,000 cards with photos).
#   bench/names-bench.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-11}
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split >/dev/null
work="$root/build/bench"; mkdir -p "$work"
[ -f "$work/cards10k.vcf" ] || python3 tools/gen_cards.py 10000 "$work/cards10k.vcf"
[ -f "$work/photos15k.vcf" ] || python3 tools/gen_cards.py 15000 "$work/photos15k.vcf" --photo-bytes 8300
python3 bench/names_bench.py "$root/build/native/quillmere-split" "$rounds" "$work/cards10k.vcf" "$work/photos15k.vcf"
