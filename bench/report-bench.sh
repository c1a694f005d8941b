#!/usr/bin/env bash
# Times quillmere-split --report against --check on the three benchmark
# inputs, alternating, the files in the page cache: --check both as it reads
# a named file (the shape reader, on two threads from 16 MiB) and as it
# reads standard input (the scanner). Prints medians of wall and processor
# time with their spread (min-max), the ratios, and peak memory. Goals:
# --report within 1.3 x --check, under 32 MiB.
#   bench/report-bench.sh [ROUNDS]
set -euo pipefail
rounds=${1:-15}
source "$(dirname "$0")/inputs.sh"
echo "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$rounds" "$split" "$small" "$some" "$photos" <<'PY'
import os, statistics, subprocess, sys, time
rounds, tool, *sources = sys.argv[1:]
def timed(cmd, stdin):
    # Wall and processor time of the tool alone, from wait4 (finer than
    # /usr/bin/time's 10 ms, and without the 1-2 ms that /usr/bin/time itself
    # costs); peak memory from a second run under /usr/bin/time: the child's
    # own maximum would count the pages of this script it was forked from.
    with open(stdin or os.devnull, "rb") as given:
        start = time.perf_counter()
        child = subprocess.Popen(cmd, stdin=given, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
    with open(stdin or os.devnull, "rb") as given:
        err = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdin=given, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True).stderr
    return seconds, usage.ru_utime + usage.ru_stime, int(err.strip().splitlines()[-1])
for source in sources:
    commands = {"--check": ([tool, "--check", source], None),
                "--check -": ([tool, "--check", "-"], source),
                "--report": ([tool, "--report", source], None)}
    for cmd, stdin in commands.values():
        timed(cmd, stdin)  # into the page cache
    runs = {name: [] for name in commands}
    for _ in range(int(rounds)):
        for name, (cmd, stdin) in commands.items():
            runs[name].append(timed(cmd, stdin))
    print(f"{os.path.basename(source)}: {os.path.getsize(source)/1e6:.1f} MB, {rounds} alternating rounds")
    med = {}
    for name, r in runs.items():
        wall = [w for w, _, _ in r]; cpu = [c for _, c, _ in r]
        med[name] = (statistics.median(wall), statistics.median(cpu))
        print(f"  {name:<10} wall {med[name][0]*1000:7.1f} ms ({min(wall)*1000:.1f}-{max(wall)*1000:.1f})"
              f"  cpu {med[name][1]*1000:6.1f} ms ({min(cpu)*1000:.1f}-{max(cpu)*1000:.1f})"
              f"  peak {max(m for _, _, m in r)/1024:.1f} MiB")
    for base in ("--check", "--check -"):
        # Ratios of the medians, and the spread of the ratios round by round.
        rounds_cpu = [r[1] / max(b[1], 1e-9) for r, b in zip(runs["--report"], runs[base])]
        print(f"  --report / {base}: wall {med['--report'][0]/med[base][0]:.2f},"
              f" cpu {med['--report'][1]/max(med[base][1], 1e-9):.2f}"
              f" (rounds {min(rounds_cpu):.2f}-{max(rounds_cpu):.2f})")
PY
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
