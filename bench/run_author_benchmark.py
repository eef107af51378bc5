#!/usr/bin/env python3
"""Times lyremap-render's --check, --json and --at against a plain open of the 40 MB layout.

The four commands run in turn, ROUNDS times, so that each meets the same load of the machine;
wall time is measured around the child process, peak memory is the kernel's account of the
finished child (ru_maxrss). Standard output and error go to /dev/null. Medians are reported,
with the load average before and after, and each option must take at most 1.3 times the time
of the plain open (exit 1 otherwise). CPU time (user and system, from the same rusage) is
shown beside it: on a shared machine it varies less than wall time.

Usage: run_author_benchmark.py RENDER [--work DIR] [--rounds N]
"""
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench_common  # noqa: E402
TARGET = 1.3


def run(command, allowed):
    """Wall seconds, peak resident kilobytes and CPU seconds of one run of COMMAND."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code not in allowed:
        sys.exit(f"failed ({code}): {' '.join(command)}")
    return wall, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


def main():
    args = bench_common.command_line(__doc__.splitlines()[0], rounds=9)
    render = args.render
    path = bench_common.layout_40mb(args.work)

    # Each variant: its options and the exit statuses it may end with.
    variants = [("plain open", [], {0}),
                ("--check", ["--check"], {0, 3}),
                ("--json", ["--json"], {0}),
                ("--at 400,300", ["--at", "400,300"], {0, 1})]
    load_before = os.getloadavg()
    runs = {label: [] for label, _, _ in variants}
    for _ in range(args.rounds):
        for label, options, allowed in variants:
            runs[label].append(run([render, *options, path], allowed))
    load_after = os.getloadavg()

    print(f"{os.path.getsize(path) / 1e6:.1f} MB layout, {args.rounds} rounds; load average "
          f"(1, 5, 15 min) {load_before[0]:.2f} {load_before[1]:.2f} {load_before[2]:.2f} "
          f"before, {load_after[0]:.2f} {load_after[1]:.2f} {load_after[2]:.2f} after")
    plain = statistics.median(r[0] for r in runs["plain open"])
    plain_cpu = statistics.median(r[2] for r in runs["plain open"])
    print(f"  {'':14} {'wall':>9} {'memory':>11} {'ratio':>7}  {'CPU':>7} {'ratio':>6}")
    met = True
    for label, _, _ in variants:
        seconds = statistics.median(r[0] for r in runs[label])
        memory = statistics.median(r[1] for r in runs[label]) / 1024
        cpu = statistics.median(r[2] for r in runs[label])
        ratio = seconds / plain
        verdict = ""
        if label != "plain open":
            verdict = f"{'met' if ratio <= TARGET else 'MISSED'} (wall at most {TARGET})"
            met = met and ratio <= TARGET
        print(f"  {label:14} {seconds:7.3f} s {memory:8.1f} MB {ratio:5.2f} x  "
              f"{cpu:5.3f} s {cpu / plain_cpu:5.2f} x  {verdict}")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
