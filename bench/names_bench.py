#!/usr/bin/env python3
"""Times quillmere-split numbered against quillmere-split --names, runs
alternating, each into a fresh folder in tmpfs; prints medians, spreads and
the ratio of --names to the numbered split for each source.

    names_bench.py SPLIT_BINARY ROUNDS SOURCE...
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, base):
    out = tempfile.mkdtemp(dir=base)
    start = time.perf_counter()
    subprocess.run(cmd + [out], stdout=subprocess.DEVNULL, check=True)
    seconds = time.perf_counter() - start
    files = len(os.listdir(out))
    shutil.rmtree(out)
    return seconds, files


def main():
    split, rounds, sources = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    base = tempfile.mkdtemp(dir="/dev/shm", prefix="quillmere-names-")
    try:
        for source in sources:
            modes = {"numbered": [split, source], "--names": [split, "--names", source]}
            times = {mode: [] for mode in modes}
            files = {}
            for _ in range(rounds):
                for mode, cmd in modes.items():
                    seconds, files[mode] = run(cmd, base)
                    times[mode].append(seconds)
            size = os.path.getsize(source) / 1e6
            print(f"{os.path.basename(source)}: {size:.1f} MB, {rounds} alternating rounds, output in /dev/shm")
            for mode in modes:
                t = times[mode]
                print(f"  {mode:<10} median {statistics.median(t):.3f} s  "
                      f"({min(t):.3f}-{max(t):.3f})  {files[mode]} files")
            ratio = statistics.median(times["--names"]) / statistics.median(times["numbered"])
            print(f"  --names / numbered: {ratio:.3f}")
    finally:
        shutil.rmtree(base)


if __name__ == "__main__":
    main()
