#!/usr/bin/env python3
"""Reads the log of bench/window-bench.sh and prints medians, spreads and the
ratio of the window run to the command-line tool."""
import statistics
import sys


def main():
    times = {"window": [], "tool": [], "start": []}
    files = {"window": set(), "tool": set()}
    messages = set()
    with open(sys.argv[1], encoding="utf-8", errors="replace") as log:
        for line in log:
            kind, _, rest = line.strip().partition(" ")
            if kind in times:
                times[kind].append(float(rest))
            elif kind == "files":
                who, count = rest.split()
                files[who].add(int(count))
            elif kind == "message":
                messages.add(rest.partition(" ")[2])
    if not times["window"] or len(times["window"]) != len(times["tool"]):
        sys.exit(f"window-bench: incomplete log {sys.argv[1]}: {times}")
    print(f"files written per run: window {sorted(files['window'])}, tool {sorted(files['tool'])}")
    for message in sorted(messages):
        print(f"closing message: {message}")
    print(f"{'':28} {'median ms':>10} {'min':>8} {'max':>8}  runs")
    labels = {"window": "window run (OK to message)", "tool": "quillmere-split.exe",
              "start": "quillmere-split.exe, empty"}
    for kind, label in labels.items():
        values = times[kind]
        print(f"{label:28} {statistics.median(values):10.1f} {min(values):8.1f} {max(values):8.1f}"
              f"  {len(values)}")
    window, tool = statistics.median(times["window"]), statistics.median(times["tool"])
    start = statistics.median(times["start"])
    pairs = sorted(w / t for w, t in zip(times["window"], times["tool"]))
    print(f"ratio window / tool: {window / tool:.3f} (per pair {pairs[0]:.3f} to {pairs[-1]:.3f});"
          f" goal <= 1.1: {'met' if window / tool <= 1.1 else 'NOT met'}")
    print(f"ratio window / (tool - its start-up): {window / (tool - start):.3f}")


if __name__ == "__main__":
    main()
