#!/usr/bin/env bash
# Times quillmere-split --check against wc -l on the benchmark inputs (the
# 10,000-card file and the 130 MB file with photos), alternating, the files
# in the page cache; prints medians and the ratio. Goal: --check within
# 1.2 x wc -l.
#   bench/check-bench.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-21}
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split >/dev/null
work="$root/build/bench"; mkdir -p "$work"
[ -f "$work/cards10k.vcf" ] || python3 tools/gen_cards.py 10000 "$work/cards10k.vcf"
[ -f "$work/photos15k.vcf" ] || python3 tools/gen_cards.py 15000 "$work/photos15k.vcf" --photo-bytes 8300
python3 - "$rounds" "$root/build/native/quillmere-split" "$work/cards10k.vcf" "$work/photos15k.vcf" <<'PY'
import statistics, subprocess, sys, time
rounds, tool, *sources = sys.argv[1:]
def timed(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start
for source in sources:
    commands = {"wc -l": ["wc", "-l", source], "--check": [tool, "--check", source]}
    for cmd in commands.values():
        timed(cmd)  # into the page cache
    times = {name: [] for name in commands}
    for _ in range(int(rounds)):
        for name, cmd in commands.items():
            times[name].append(timed(cmd))
    med = {name: statistics.median(t) for name, t in times.items()}
    print(f"{source.rsplit('/', 1)[-1]}: wc -l {med['wc -l']*1000:.1f} ms "
          f"({min(times['wc -l'])*1000:.1f}-{max(times['wc -l'])*1000:.1f}), "
          f"--check {med['--check']*1000:.1f} ms "
          f"({min(times['--check'])*1000:.1f}-{max(times['--check'])*1000:.1f}), "
          f"ratio {med['--check']/med['wc -l']:.2f}")
PY
