#!/usr/bin/env python3
"""Times lyremap-render --diff of two 40 MB layouts that differ in one frame and checks its
targets: at most 3 times the wall time of one plain open of the layout and at most 2.5 times
its peak memory.

The second layout is the first with the x of one frame near the middle of the file changed,
so the diff reports that frame and whatever is placed from it. The plain open and the diff run
in turn within each round, so both meet the same load of the machine; medians of the rounds
are reported with the load average before and after. Peak memory is the maximum resident set
that /usr/bin/time reports for the process: a child's own ru_maxrss would include the pages of
this script, which it starts as a copy of. A diff with --output PNG is timed as well, without
a target.

Usage: run_diff_benchmark.py RENDER [--work DIR] [--rounds N]
"""
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench_common  # noqa: E402
from bench_common import load  # noqa: E402


def run(command, expected_status, work):
    """Wall seconds, peak resident kilobytes and standard output of one run of COMMAND."""
    report = os.path.join(work, "time.txt")
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, *command],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    if done.returncode != expected_status:
        sys.exit(f"exit status {done.returncode}, not {expected_status}: {' '.join(command)}")
    with open(report, encoding="utf-8") as file:
        peak = int(file.read().split()[-1])
    return wall, peak, done.stdout


def changed_copy(path, copy):
    """Writes COPY: PATH with the x of the frame on the middle line changed."""
    with open(path, encoding="utf-8") as source:
        count = sum(1 for _ in source)
    changed = None
    with open(path, encoding="utf-8") as source, open(copy, "w", encoding="utf-8") as out:
        for number, line in enumerate(source, 1):
            if changed is None and number >= count // 2 and 'x="' in line:
                line = re.sub(r'x="(-?\d+)"', lambda m: f'x="{int(m.group(1)) + 7}"', line, count=1)
                changed = number
            out.write(line)
    return changed


def main():
    args = bench_common.command_line(__doc__.splitlines()[0], rounds=5)
    render = args.render
    old = bench_common.layout_40mb(args.work)
    new = os.path.join(args.work, "nested-40-changed.xml")
    line = changed_copy(old, new)
    picture = os.path.join(args.work, "diff.png")
    print(f"{os.path.getsize(old) / 1e6:.1f} MB layout, one x changed on line {line}")
    print(f"load average (1/5/15 min) before: {load()}", flush=True)

    variants = {"one open": ([render, old], 0),
                "--diff": ([render, "--diff", old, new], 1),
                "--diff --output PNG": ([render, "--diff", "--output", picture, old, new], 1)}
    times = {name: [] for name in variants}
    memory = {name: [] for name in variants}
    for _ in range(args.rounds):
        for name, (command, status) in variants.items():
            wall, rss, out = run(command, status, args.work)
            times[name].append(wall)
            memory[name].append(rss)
            if name == "--diff":
                lines = out.decode().splitlines()
                if not lines or not lines[0].startswith(f"{new}:{line}:"):
                    sys.exit(f"--diff did not report the changed frame first: {lines[:3]}")
    print(f"--diff reported {len(lines)} frames")
    for name in variants:
        print(f"{name}: {statistics.median(times[name]):.3f} s, "
              f"{statistics.median(memory[name]) / 1024:.1f} MB", flush=True)
    print(f"load average (1/5/15 min) after: {load()}")

    time_ratio = statistics.median(times["--diff"]) / statistics.median(times["one open"])
    memory_ratio = statistics.median(memory["--diff"]) / statistics.median(memory["one open"])
    checks = [(f"--diff time: {time_ratio:.2f} x one open (at most 3)", time_ratio <= 3.0),
              (f"--diff peak memory: {memory_ratio:.2f} x one open (at most 2.5)",
               memory_ratio <= 2.5)]
    print("\nTargets (medians):")
    for text, met in checks:
        print(f"  {'met    ' if met else 'MISSED '} {text}")
    return 0 if all(met for _, met in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
