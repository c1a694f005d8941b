#!/usr/bin/env python3
"""Runs named commands alternately on each source, each run into a fresh
folder, and prints per source the median wall time, the ratio to the floor,
the spread, the median processor time (user + system, all threads) and the
peak memory of every command.

    compare.py --rounds 9 --source A.vcf --source B.vcf [--out-base DIR] name=command ...

A command holds {src} and {out}; the one named "floor" (or --reference) is
the reference, and one named "floor-2t" (the floor writing from two
threads), if given, a second one: each command's ratio to the better of the
two is printed too."""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def run(template, src, base, measure_memory=False):
    """Wall and processor time of the command itself, from wait4, with no
    parent of its own between: a parent hands down its table of open files,
    and under /usr/bin/time the writers once grew a small one during the run
    (1.3 to 1.7 x slower). Peak memory comes from a separate run under
    /usr/bin/time, as the child's own maximum would count the pages of this
    script it was forked from."""
    out = tempfile.mkdtemp(dir=base)
    cmd = template.format(src=src, out=out).split()
    start = time.perf_counter()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"{cmd[0]} failed on {src} (status {status})")
    files = len(os.listdir(out))
    shutil.rmtree(out)
    kib = 0
    if measure_memory:
        out = tempfile.mkdtemp(dir=base)
        done = subprocess.run(["/usr/bin/time", "-f", "%M"] + template.format(src=src, out=out).split(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
        shutil.rmtree(out)
        kib = int(done.stderr.strip().splitlines()[-1])
    return seconds, kib, usage.ru_utime + usage.ru_stime, files


def compare(source, commands, rounds, base, out_base, reference="floor"):
    times = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    memory = {name: 0 for name in commands}
    files = {}
    for index in range(rounds):
        for name, template in commands.items():
            seconds, kib, processor, count = run(template, source, base, measure_memory=index == 0)
            times[name].append(seconds)
            cpu[name].append(processor)
            memory[name] = max(memory[name], kib)
            files[name] = count
    floor = statistics.median(times[reference])
    best = min(floor, statistics.median(times["floor-2t"])) if "floor-2t" in times else floor
    size = os.path.getsize(source) / 1e6
    print(f"{os.path.basename(source)}: {size:.1f} MB, {rounds} alternating rounds, output in {out_base}")
    print(f"{'command':<20}{'median s':>10}{'x ' + reference:>9}{'x best':>8}{'min-max s':>16}{'cpu s':>8}{'peak MiB':>10}{'files':>8}")
    for name in commands:
        m = statistics.median(times[name])
        lo, hi = min(times[name]), max(times[name])
        print(f"{name:<20}{m:>10.3f}{m / floor:>9.2f}{m / best:>8.2f}{lo:>8.3f}-{hi:<7.3f}{statistics.median(cpu[name]):>8.2f}"
              f"{memory[name] / 1024:>10.1f}"
              f"{files[name]:>8}")
    print(flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--source", action="append", required=True)
    parser.add_argument("--out-base", default="/dev/shm", help="where the fresh output folders go")
    parser.add_argument("--reference", default="floor", help="the command the others are a ratio to")
    parser.add_argument("commands", nargs="+", help="name=command with {src} and {out}")
    args = parser.parse_args()
    commands = dict(c.split("=", 1) for c in args.commands)
    base = tempfile.mkdtemp(dir=args.out_base, prefix="quillmere-bench-")
    try:
        for source in args.source:
            compare(source, commands, args.rounds, base, args.out_base, args.reference)
    finally:
        shutil.rmtree(base)


if __name__ == "__main__":
    main()
