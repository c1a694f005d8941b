#!/usr/bin/env bash
# Times quillmere-split --check against wc -l on the three benchmark inputs
# (10,000 small cards, every tenth with a photo, 15,000 with photos), alternating, the files
# in the page cache; prints medians and the ratio. Goal: --check within
# 1.2 x wc -l. With BASELINE set to another build of quillmere-split (say
# the one before a change), its --check runs in the same rounds and the
# ratio of the two is printed too. (Peak memory is not measured here: a child
# forked from Python reports Python's. Use /usr/bin/time -v.)
#   [BASELINE=path/to/quillmere-split] bench/check-bench.sh [ROUNDS]
set -euo pipefail
rounds=${1:-21}
source "$(dirname "$0")/inputs.sh"
python3 - "$rounds" "$split" "${BASELINE:-}" "$small" "$some" "$photos" <<'PY'
# Wall time and CPU time (user + system) of each run; on a machine shared
# with other work the CPU time is the steadier of the two.
import os, statistics, subprocess, sys, time
rounds, tool, baseline, *sources = sys.argv[1:]
def timed(cmd):
    start = time.perf_counter()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime
for source in sources:
    commands = {"wc -l": ["wc", "-l", source], "--check": [tool, "--check", source]}
    if baseline:
        commands["baseline"] = [baseline, "--check", source]
    for cmd in commands.values():
        timed(cmd)  # into the page cache
    wall = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    for _ in range(int(rounds)):
        for name, cmd in commands.items():
            w, c = timed(cmd)
            wall[name].append(w)
            cpu[name].append(c)
    line = source.rsplit("/", 1)[-1] + ":"
    for name in commands:
        w = sorted(wall[name])
        line += (f" {name} wall {statistics.median(w)*1000:.1f} ms ({w[len(w)//4]*1000:.1f}-{w[3*len(w)//4]*1000:.1f})"
                 f" cpu {statistics.median(cpu[name])*1000:.1f} ms;")
    if baseline:
        pairs = sorted(a / b for a, b in zip(wall["--check"], wall["baseline"]))
        line += (f" --check / baseline: wall {statistics.median(wall['--check']) / statistics.median(wall['baseline']):.2f}"
                 f" (pairwise median {statistics.median(pairs):.2f}, quartiles {pairs[len(pairs)//4]:.2f}-{pairs[3*len(pairs)//4]:.2f}),"
                 f" cpu {statistics.median(cpu['--check']) / statistics.median(cpu['baseline']):.2f};")
    ratio_wall = statistics.median(wall["--check"]) / statistics.median(wall["wc -l"])
    ratio_cpu = statistics.median(cpu["--check"]) / max(statistics.median(cpu["wc -l"]), 1e-9)
    print(f"{line} --check / wc -l: wall {ratio_wall:.2f}, cpu {ratio_cpu:.2f}")
PY
