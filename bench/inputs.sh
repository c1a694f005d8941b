# Sourced by the benchmarks: builds quillmere-split and makes the three
# generated sources once, in build/bench. Sets root, work, split, small,
# some and photos.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split >/dev/null
work="$root/build/bench"; mkdir -p "$work"
split="$root/build/native/quillmere-split"
small="$work/cards10k.vcf"           # 10,000 small cards, 3.6 MB
some="$work/photo-every-10th.vcf"    # every tenth card with a ~12 KB photo
photos="$work/photos15k.vcf"         # 15,000 cards, each with a ~8 KB photo
[ -f "$small" ] || python3 tools/gen_cards.py 10000 "$small"
[ -f "$some" ] || python3 tools/gen_cards.py 10000 "$some" --photo-bytes 12000 --photo-every 10
[ -f "$photos" ] || python3 tools/gen_cards.py 15000 "$photos" --photo-bytes 8300
