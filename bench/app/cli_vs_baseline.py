#!/usr/bin/python3
"""Times `gridmint-cli scale` end to end against a plain libpng baseline.

    bench/app/cli_vs_baseline.py BUILD_DIR [--runs N] [--imagemagick]

BUILD_DIR is a Release build holding src/cli/gridmint-cli and
bench/app/png_baseline. On a 1024 x 1024 palette pixel-art image, at factors 4
and 8, both are run N times in turns; the script prints the medians of the
read, enlarge and encode phases and of the whole process, and the ratio of
gridmint-cli to the baseline. gridmint-cli reports its phases with --timings;
"enlarge" there is the whole engine (blocks plus the four slope passes), so
--nearest is timed as well to show replication alone. With --imagemagick it
also times `convert-im6.q16 IN -filter point -resize 400% OUT` for context.
Not for CI: the numbers depend on the machine.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time


def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, capture_output=True, text=True)
    wall = (time.perf_counter() - start) * 1000
    if proc.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), proc.stderr))
    return wall, proc


def phases(text):
    m = re.search(r"read ([\d.]+)(?: ms)?, enlarge ([\d.]+)(?: ms)?, encode ([\d.]+)", text)
    if not m:
        m = re.search(r"read ([\d.]+) enlarge ([\d.]+) encode ([\d.]+)", text)
    return [float(v) for v in m.groups()]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--imagemagick", action="store_true")
    args = ap.parse_args()
    cli = os.path.join(args.build, "src/cli/gridmint-cli")
    base = os.path.join(args.build, "bench/app/png_baseline")

    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "art.png")
        subprocess.run([base, "generate", src, "1024"], check=True)
        out = os.path.join(tmp, "out.png")
        print("1024 x 1024 source, %d runs each, medians in ms" % args.runs)
        print("%-22s %8s %8s %8s %8s" % ("", "read", "enlarge", "encode", "process"))
        for factor in (4, 8):
            rows = {"baseline": [], "gridmint-cli": [], "gridmint-cli --nearest": [],
                    "libpng, same result": []}
            again = os.path.join(tmp, "again.png")
            for _ in range(args.runs):
                wall, proc = timed([base, "scale", src, out, str(factor)])
                rows["baseline"].append(phases(proc.stdout) + [wall])
                # The full run last, so that `out` holds its result below.
                for name, extra in (("gridmint-cli --nearest", ["--nearest"]), ("gridmint-cli", [])):
                    wall, proc = timed([cli, "scale", "--timings", "--scale", str(factor), *extra,
                                        "-o", out, src])
                    rows[name].append(phases(proc.stderr) + [wall])
                # The slopes make the result harder for zlib than plain blocks:
                # plain libpng re-encoding gridmint's own result shows how much
                # of the encode time is the content rather than the writer.
                wall, proc = timed([base, "scale", out, again, "1"])
                rows["libpng, same result"].append(phases(proc.stdout) + [wall])
            print("factor %d" % factor)
            medians = {}
            for name, samples in rows.items():
                medians[name] = [statistics.median(col) for col in zip(*samples)]
                print("  %-20s %8.1f %8.1f %8.1f %8.1f" % (name, *medians[name]))
            b = medians["baseline"][3]
            for name in ("gridmint-cli", "gridmint-cli --nearest"):
                print("  %s / baseline (process): %.2f" % (name, medians[name][3] / b))
            print("  gridmint encode / libpng encode of the same result: %.2f"
                  % (medians["gridmint-cli"][2] / medians["libpng, same result"][2]))
            if args.imagemagick and factor == 4:
                walls = [timed(["convert-im6.q16", src, "-filter", "point", "-resize", "400%",
                                os.path.join(tmp, "im.png")])[0] for _ in range(args.runs)]
                print("  %-20s %35.1f" % ("ImageMagick 400%", statistics.median(walls)))


if __name__ == "__main__":
    main()
