#!/usr/bin/env bash
# Times quillmere-split --check against wc -l on the three benchmark inputs
# (10,000 small cards, every tenth with a photo, 15,000 with photos), alternating, the files
# in the page cache; prints medians and the ratio. Goal: --check within
# 1.2 x wc -l.
#   bench/check-bench.sh [ROUNDS]
set -euo pipefail
rounds=${1:-21}
source "$(dirname "$0")/inputs.sh"
python3 - "$rounds" "$split" "$small" "$some" "$photos" <<'PY'
# Wall time and CPU time (user + system) of each run; on a machine shared
# with other work the CPU time is the steadier of the two.
import os, statistics, subprocess, sys, time
rounds, tool, *sources = sys.argv[1:]
def timed(cmd):
    start = time.perf_counter()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime
for source in sources:
    commands = {"wc -l": ["wc", "-l", source], "--check": [tool, "--check", source]}
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
        line += f" {name} wall {statistics.median(wall[name])*1000:.1f} ms cpu {statistics.median(cpu[name])*1000:.1f} ms;"
    ratio_wall = statistics.median(wall["--check"]) / statistics.median(wall["wc -l"])
    ratio_cpu = statistics.median(cpu["--check"]) / max(statistics.median(cpu["wc -l"]), 1e-9)
    print(f"{line} --check / wc -l: wall {ratio_wall:.2f}, cpu {ratio_cpu:.2f}")
PY
