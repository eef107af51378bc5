"""What the lyremap-render benchmarks share: their command line, the 40 MB layout they time,
and the load average they report beside their figures."""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def command_line(description, rounds):
    """Parses RENDER, --work and --rounds; RENDER made absolute, the work folder made."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("render", help="path of the lyremap-render binary")
    parser.add_argument("--work", default="/tmp/lyremap-bench", help="folder for the files")
    parser.add_argument("--rounds", type=int, default=rounds)
    args = parser.parse_args()
    args.render = os.path.abspath(args.render)
    os.makedirs(args.work, exist_ok=True)
    return args


def layout_40mb(work):
    """The 40 MB nested layout in WORK, generated the first time."""
    path = os.path.join(work, "nested-40.xml")
    if not os.path.exists(path):
        subprocess.run([sys.executable, os.path.join(HERE, "generate_layout.py"), path,
                        "--megabytes", "40"], check=True)
    return path


def load():
    """The load average over 1, 5 and 15 minutes, as 1.23/1.50/2.00."""
    return "/".join(f"{value:.2f}" for value in os.getloadavg())
