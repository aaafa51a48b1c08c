#!/usr/bin/env python3
"""Table of whole calls against the peer from qrimage_bench's JSON output.

Reads the file written by --benchmark_out (run with repetitions, best with
random interleaving) and prints, per version and level, the median CPU time
of each side and the median of the per-repetition ratios ours / peer, with
the lowest and highest of those ratios; then, per version, the same for the
tool's encoding with the shortest segments against one byte segment, for the
mixed text and for the Kanji text.

  bench/ratios.py results.json
"""
import json
import re
import statistics
import sys

NAME = re.compile(r"^BM_(QRImage|Peer)/version:(\d+)/level:(\d+)$")
TOOL = re.compile(r"^BM_ToolEncode/version:(\d+)/segments:(\d)$")


def main(path):
    with open(path) as f:
        report = json.load(f)
    times = {}  # (side, version, level) -> {repetition: cpu time in us}
    for run in report["benchmarks"]:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        m = NAME.match(run["run_name"])
        t = TOOL.match(run["run_name"])
        if not m and not t:
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run["time_unit"]]
        if t:
            key = (("Bytes", "Segments", "Kanji")[int(t.group(2))], int(t.group(1)), 0)
        else:
            key = (m.group(1), int(m.group(2)), int(m.group(3)))
        times.setdefault(key, {})[run.get("repetition_index", 0)] = run["cpu_time"] * scale

    ratio_table(times, "QRImage", "Peer", "| Version | Level | qrimage | peer |",
                lambda version, level: f"| {version} | {'LMQH'[level]} ")
    print()
    ratio_table(times, "Segments", "Bytes", "| Version | shortest segments | byte segment |",
                lambda version, level: f"| {version} ")
    print()
    ratio_table(times, "Kanji", "Bytes", "| Version | Kanji text, shortest segments | byte segment |",
                lambda version, level: f"| {version} ")


def ratio_table(times, side, other, heading, label):
    """Prints, per case of `side`, the median times of both sides and the
    median and range of the per-repetition ratios side / other."""
    columns = heading.count("|") + 1
    print(heading + " ratio (median) | ratio range |")
    print("|---" * columns + "|")
    for (_, version, level) in sorted(k for k in times if k[0] == side):
        ours = times[(side, version, level)]
        theirs = times.get((other, version, level))
        if not theirs:
            continue
        ratios = [ours[r] / theirs[r] for r in ours if r in theirs]
        print(f"{label(version, level)}| {statistics.median(ours.values()):.1f} us "
              f"| {statistics.median(theirs.values()):.1f} us | {statistics.median(ratios):.3f}x "
              f"| {min(ratios):.3f}-{max(ratios):.3f}x |")


if __name__ == "__main__":
    main(sys.argv[1])
