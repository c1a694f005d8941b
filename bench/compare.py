#!/usr/bin/env python3
"""Runs named commands alternately, each into a fresh tmpfs folder, and
prints median wall times, ratios to the floor and peak memory."""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def run(template, src, base):
    out = tempfile.mkdtemp(dir=base)
    cmd = ["/usr/bin/time", "-f", "%M"] + template.format(src=src, out=out).split()
    start = time.perf_counter()
    done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    seconds = time.perf_counter() - start
    files = len(os.listdir(out))
    shutil.rmtree(out)
    return seconds, int(done.stderr.strip().splitlines()[-1]), files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--source", required=True)
    parser.add_argument("--big")
    parser.add_argument("--out-base", default="/dev/shm", help="where the fresh output folders go")
    parser.add_argument("commands", nargs="+", help="name=command with {src} and {out}")
    args = parser.parse_args()
    commands = dict(c.split("=", 1) for c in args.commands)
    base = tempfile.mkdtemp(dir=args.out_base, prefix="quillmere-bench-")
    try:
        times = {name: [] for name in commands}
        memory = {name: 0 for name in commands}
        files = {}
        for _ in range(args.rounds):
            for name, template in commands.items():
                seconds, kib, count = run(template, args.source, base)
                times[name].append(seconds)
                memory[name] = max(memory[name], kib)
                files[name] = count
        floor = statistics.median(times["floor"])
        size = os.path.getsize(args.source) / 1e6
        spread = {n: (min(t), max(t)) for n, t in times.items()}
        print(f"{args.source}: {size:.1f} MB, {args.rounds} alternating rounds, output in {args.out_base}")
        print(f"{'command':<16}{'median s':>10}{'x floor':>9}{'min-max s':>14}{'peak MiB':>10}{'files':>8}")
        for name in commands:
            m = statistics.median(times[name])
            lo, hi = spread[name]
            print(f"{name:<16}{m:>10.3f}{m / floor:>9.2f}{lo:>7.3f}-{hi:<6.3f}{memory[name] / 1024:>10.1f}"
                  f"{files[name]:>8}")
        if args.big:
            seconds, kib, count = run(commands["quillmere-split"], args.big, base)
            size = os.path.getsize(args.big) / 1e6
            print(f"{args.big}: {size:.0f} MB, quillmere-split {seconds:.2f} s, "
                  f"peak {kib / 1024:.1f} MiB, {count} files")
    finally:
        shutil.rmtree(base)


if __name__ == "__main__":
    main()
