#!/usr/bin/env python3
"""Times lyremap-render's batch and image outputs and checks their targets.

  1. 1,000 small layouts given to one call, against 1,000 calls of one layout each: once with
     the outcomes only, once with --output-dir writing a PNG of each (at most 0.2 times).
  2. The 40 MB layout written as a PNG at --scale 4 and as SVG, against a plain --output PNG
     (each at most 1.5 times).

Every variant of a comparison runs in turn within each round, so all meet the same load of the
machine; medians of the rounds are reported, with the load average before and after.

Usage: run_outputs_benchmark.py RENDER [--work DIR] [--rounds N]
"""
import io
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench_common  # noqa: E402
import generate_layout  # noqa: E402
from bench_common import load  # noqa: E402

SMALL_COUNT = 1000


def run(command):
    """Wall seconds of one run of COMMAND, which must exit with 0."""
    start = time.perf_counter()
    status = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(command[:6])} ...")
    return wall


def run_each(render, files, extra):
    start = time.perf_counter()
    for path in files:
        if subprocess.run([render, *extra(path), path], stdout=subprocess.DEVNULL).returncode:
            sys.exit(f"failed: {render} {path}")
    return time.perf_counter() - start


def small_layouts(work):
    """SMALL_COUNT layouts of one to four KB, each a different nested layout."""
    folder = os.path.join(work, "small")
    if os.path.isdir(folder) and len(os.listdir(folder)) == SMALL_COUNT:
        return sorted(os.path.join(folder, name) for name in os.listdir(folder))
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    rng = random.Random(7)
    for i in range(SMALL_COUNT):
        out = io.StringIO()
        generate_layout.write_nested(out, rng.randint(1000, 4000), rng, False)
        with open(os.path.join(folder, f"layout{i:04}.xml"), "w", encoding="utf-8") as file:
            file.write(out.getvalue())
    return small_layouts(work)


def main():
    args = bench_common.command_line(__doc__.splitlines()[0], rounds=3)
    render = args.render
    maps = os.path.join(args.work, "maps")
    os.makedirs(maps, exist_ok=True)

    files = small_layouts(args.work)
    big = bench_common.layout_40mb(args.work)
    print(f"load average (1/5/15 min) before: {load()}", flush=True)

    checks = []
    for label, extra in (("outcomes only", lambda path: []),
                         ("a PNG of each", lambda path: ["--output-dir", maps])):
        one, each = [], []
        for _ in range(args.rounds):
            one.append(run([render, *extra(None), *files]))
            each.append(run_each(render, files, extra))
        one, each = statistics.median(one), statistics.median(each)
        print(f"{SMALL_COUNT} small layouts, {label}: one call {one:.3f} s, "
              f"{SMALL_COUNT} calls {each:.3f} s", flush=True)
        checks.append((f"{SMALL_COUNT} layouts in one call, {label}: {one / each:.3f} x "
                       f"{SMALL_COUNT} calls (at most 0.2)", one / each <= 0.2))

    png = os.path.join(args.work, "map.png")
    variants = {"plain PNG": ["--output", png],
                "PNG at --scale 4": ["--scale", "4", "--output", png],
                "SVG": ["--output", os.path.join(args.work, "map.svg")]}
    times = {name: [] for name in variants}
    for _ in range(max(args.rounds, 5)):
        for name, options in variants.items():
            times[name].append(run([render, *options, big]))
    plain = statistics.median(times["plain PNG"])
    for name in variants:
        median = statistics.median(times[name])
        print(f"40 MB layout, {name}: {median:.3f} s", flush=True)
        if name != "plain PNG":
            checks.append((f"40 MB layout, {name}: {median / plain:.2f} x a plain PNG "
                           "(at most 1.5)", median / plain <= 1.5))
    print(f"SVG size: {os.path.getsize(os.path.join(args.work, 'map.svg')) / 1e6:.1f} MB")
    print(f"load average (1/5/15 min) after: {load()}")

    print("\nTargets (medians):")
    for text, met in checks:
        print(f"  {'met    ' if met else 'MISSED '} {text}")
    return 0 if all(met for _, met in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
