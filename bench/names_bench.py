#!/usr/bin/env python3
"""Times quillmere-split numbered against quillmere-split --names, runs
alternating, each into a fresh folder in tmpfs; prints medians, spreads and
the ratio of --names to the numbered split for each source, in wall time and
in CPU time (user + system of the run itself, which other work on a shared
machine disturbs far less).

    names_bench.py SPLIT_BINARY ROUNDS SOURCE...
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(cmd, base):
    out = tempfile.mkdtemp(dir=base)
    cpu_start, start = cpu(), time.perf_counter()
    subprocess.run(cmd + [out], stdout=subprocess.DEVNULL, check=True)
    seconds, cpu_seconds = time.perf_counter() - start, cpu() - cpu_start
    files = len(os.listdir(out))
    shutil.rmtree(out)
    return seconds, cpu_seconds, files


def main():
    split, rounds, sources = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    base = tempfile.mkdtemp(dir="/dev/shm", prefix="quillmere-names-")
    try:
        for source in sources:
            modes = {"numbered": [split, source], "--names": [split, "--names", source]}
            times = {mode: [] for mode in modes}
            cpus = {mode: [] for mode in modes}
            files = {}
            for _ in range(rounds):
                for mode, cmd in modes.items():
                    seconds, cpu_seconds, files[mode] = run(cmd, base)
                    times[mode].append(seconds)
                    cpus[mode].append(cpu_seconds)
            size = os.path.getsize(source) / 1e6
            print(f"{os.path.basename(source)}: {size:.1f} MB, {rounds} alternating rounds, output in /dev/shm")
            for mode in modes:
                t, c = times[mode], cpus[mode]
                print(f"  {mode:<10} wall median {statistics.median(t):.3f} s ({min(t):.3f}-{max(t):.3f})  "
                      f"CPU median {statistics.median(c):.3f} s ({min(c):.3f}-{max(c):.3f})  {files[mode]} files")
            for label, data in (("wall", times), ("CPU", cpus)):
                ratio = statistics.median(data["--names"]) / statistics.median(data["numbered"])
                print(f"  --names / numbered, {label}: {ratio:.3f}")
    finally:
        shutil.rmtree(base)


if __name__ == "__main__":
    main()
