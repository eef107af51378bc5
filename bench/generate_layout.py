#!/usr/bin/env python3
"""Writes a layout file for benchmarking lyremap-render.

Kinds:
  nested  widgets nested up to six levels deep, each with one to three frames and a few
          children, until the file reaches --megabytes (default)
  wide    one widget holding --frames frames

With --off-map every frame lies far to the right of and below the map; the file is otherwise
the same as without it (same structure, sizes and borders). The output is deterministic for a
given seed.
"""
import argparse
import random
import sys

MAX_DEPTH = 6


def frame_line(rng, indent, off_map):
    x = rng.randint(-20, 120)
    y = rng.randint(-20, 90)
    if off_map:
        # Each frame moves the origin, so a fixed step keeps every later frame off the map too;
        # the same random numbers are drawn as on the map, so the files differ only here.
        x, y = x + 1000, y + 1000
    width = rng.randint(8, 300)
    height = rng.randint(8, 200)
    border = "yes" if rng.random() < 0.5 else "no"
    return (f'{indent}<frame x="{x}" y="{y}" width="{width}" height="{height}" '
            f'border="{border}"/>\n')


def write_nested(out, target_bytes, rng, off_map):
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<widget_description>\n')
    written = 0
    frames = 0
    # An explicit stack keeps deep files cheap: (depth, children still to write).
    while written < target_bytes:
        stack = [(1, rng.randint(2, 5))]
        chunk = []
        chunk.append('  <widget name="window">\n')
        for _ in range(rng.randint(1, 3)):
            chunk.append(frame_line(rng, "    ", off_map))
            frames += 1
        while stack:
            depth, remaining = stack[-1]
            indent = "  " * (depth + 1)
            if remaining == 0 or depth >= MAX_DEPTH:
                stack.pop()
                chunk.append(f"{indent[:-2]}</widget>\n")
                continue
            stack[-1] = (depth, remaining - 1)
            chunk.append(f'{indent}<widget name="w{depth}">\n')
            for _ in range(rng.randint(1, 3)):
                chunk.append(frame_line(rng, indent + "  ", off_map))
                frames += 1
            stack.append((depth + 1, rng.randint(0, 3)))
        text = "".join(chunk)
        out.write(text)
        written += len(text)
    out.write("</widget_description>\n")
    return frames


def write_wide(out, count, rng, off_map):
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<widget_description>\n  <widget>\n')
    # Each frame is placed relative to the one before; aim at places spread over the map (or
    # as far beside it) so that a long row of frames does not drift away.
    px, py = 0, 0
    for _ in range(count):
        ax, ay = rng.randint(0, 700), rng.randint(0, 550)
        if off_map:
            ax, ay = ax + 1000, ay + 1000
        width = rng.randint(8, 300)
        height = rng.randint(8, 200)
        border = "yes" if rng.random() < 0.5 else "no"
        out.write(f'    <frame x="{ax - px}" y="{ay - py}" width="{width}" height="{height}" '
                  f'border="{border}"/>\n')
        px, py = ax, ay
    out.write("  </widget>\n</widget_description>\n")
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--kind", choices=["nested", "wide"], default="nested")
    parser.add_argument("--off-map", action="store_true")
    parser.add_argument("--megabytes", type=float, default=40.0)
    parser.add_argument("--frames", type=int, default=1_000_000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with open(args.output, "w", encoding="utf-8", buffering=1 << 20) as out:
        if args.kind == "wide":
            frames = write_wide(out, args.frames, rng, args.off_map)
        else:
            frames = write_nested(out, int(args.megabytes * 1_000_000), rng, args.off_map)
    print(f"{args.output}: {frames} frames", file=sys.stderr)


if __name__ == "__main__":
    main()
