#!/usr/bin/python3
"""Times `gridmint-cli scale` end to end against a plain libpng baseline.

    bench/app/cli_vs_baseline.py BUILD_DIR [--runs N] [--before CLI] [--smallest]
                                 [--factors 4 8] [--kinds blobs sprites ...]
                                 [--imagemagick] [--heap]

BUILD_DIR is a Release build holding src/cli/gridmint-cli and
bench/app/png_baseline. On 1024 x 1024 palette pixel-art images (the kinds of
`png_baseline generate`: blobs, sprites, lines, dither), at each factor, every round runs the baseline and then each gridmint-cli variant in
turn, so that each run has a baseline run beside it on a machine that is as
busy as it was then. Reported per variant:

  process   median wall time, and the median of the per-round ratios to the
            baseline's wall time in the same round
  cpu       the same ratio for CPU time (user + system): steadier than wall
            time on a busy machine, where extra threads may win nothing; on
            idle cores the wall time of n busy threads is about cpu / n
  phases    medians of read, enlarge and encode (--timings)
  bytes     output size, and its ratio to the same result written by plain
            libpng at level 9 without filtering (what the writer did before)
  memory    peak resident memory over (output + source), output and source
            counted at one byte per pixel; "work" leaves out the process's
            fixed part (code and libraries: the peak of `gridmint-cli info` on
            an 8 x 8 image); the target is on "work"

Variants: gridmint-cli with --compression best (the default), fast and, with
--smallest, smallest (many times slower); --nearest; and with --before, an
older gridmint-cli binary (say one built from main) for a before/after
pairing. The peak memory of BMP and PCX outputs is measured once each. With
--imagemagick it also times `convert-im6.q16 IN -filter point -resize 400%
OUT` for context. With --heap it runs each output format once under
valgrind's massif and splits the heap, at its peak and at its largest while
the file is written, into the engine's output, the source, the engine's own
tables and scratch, the file writer's buffers and the rest. Not for CI: the
numbers depend on the machine.
"""
import argparse
import os
import shutil
import re
import statistics
import subprocess
import sys
import tempfile
import time

SIZE = 1024


TIME = "/usr/bin/time"


def run(cmd, tmp):
    """Runs cmd; returns wall ms, stdout, stderr, peak RSS in bytes and CPU ms.

    The peak comes from GNU time where installed: the rusage of a child forked
    from Python counts Python's own pages from before the exec."""
    mem = os.path.join(tmp, "peak")
    if os.path.exists(TIME):
        cmd = [TIME, "-f", "%M", "-o", mem, *cmd]
    with open(os.path.join(tmp, "stdout"), "w+") as out, open(os.path.join(tmp, "stderr"), "w+") as err:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = (time.perf_counter() - start) * 1000
        proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    if proc.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), stderr))
    peak = usage.ru_maxrss
    if os.path.exists(TIME):
        with open(mem) as f:
            peak = int(f.read().split()[-1])
    cpu = (usage.ru_utime + usage.ru_stime) * 1000
    return wall, stdout, stderr, peak * 1024, cpu


def phases(text):
    m = re.search(r"read ([\d.]+)(?: ms)?, enlarge ([\d.]+)(?: ms)?, encode ([\d.]+)", text)
    if not m:
        m = re.search(r"read ([\d.]+) enlarge ([\d.]+) encode ([\d.]+)", text)
    return [float(v) for v in m.groups()] if m else [float("nan")] * 3


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--before", help="an older gridmint-cli to pair with the current one")
    ap.add_argument("--smallest", action="store_true", help="also time --compression smallest")
    ap.add_argument("--factors", type=int, nargs="+", default=[4, 8])
    ap.add_argument("--kinds", nargs="+", default=["blobs", "sprites"])
    ap.add_argument("--imagemagick", action="store_true")
    ap.add_argument("--heap", action="store_true", help="split the heap with valgrind's massif")
    args = ap.parse_args()
    cli = os.path.join(args.build, "src/cli/gridmint-cli")
    base = os.path.join(args.build, "bench/app/png_baseline")

    variants = [("best", [cli, "scale", "--timings"]),
                ("fast", [cli, "scale", "--timings", "--compression", "fast"]),
                ("nearest", [cli, "scale", "--timings", "--nearest"])]
    if args.smallest:
        variants.append(("smallest", [cli, "scale", "--timings", "--compression", "smallest"]))
    if args.before:
        variants.insert(0, ("before", [args.before, "scale", "--timings"]))

    with tempfile.TemporaryDirectory() as tmp:
        tiny = os.path.join(tmp, "tiny.png")
        subprocess.run([base, "generate", tiny, "8"], check=True)
        fixed = run([cli, "info", tiny], tmp)[3]
        print("%d rounds, medians; fixed part of gridmint-cli %.1f MB" % (args.runs, fixed / 1e6))
        for kind in args.kinds:
            src = os.path.join(tmp, kind + ".png")
            subprocess.run([base, "generate", src, str(SIZE), kind], check=True)
            for factor in args.factors:
                print("%s %d x %d, factor %d" % (kind, SIZE, SIZE, factor))
                measure(args, tmp, src, factor, variants, base, cli, fixed)


def measure(args, tmp, src, factor, variants, base, cli, fixed):
    pixels = SIZE * SIZE * (factor * factor + 1)  # output + source
    rows = {name: [] for name in ["baseline", *[v[0] for v in variants]]}
    level9 = {}
    for _ in range(args.runs):
        out = os.path.join(tmp, "base.png")
        wall, stdout, _, rss, cpu = run([base, "scale", src, out, str(factor)], tmp)
        baseline = wall, cpu
        rows["baseline"].append((wall, 1.0, phases(stdout), os.path.getsize(out), rss, 1.0))
        for name, cmd in variants:
            out = os.path.join(tmp, name + ".png")
            wall, _, stderr, rss, cpu = run([*cmd, "--scale", str(factor), "-o", out, src], tmp)
            rows[name].append((wall, wall / baseline[0], phases(stderr), os.path.getsize(out), rss,
                               cpu / baseline[1]))
            if name not in level9:
                # Plain libpng at level 9, unfiltered, on the same result:
                # the size the writer used to reach.
                again = os.path.join(tmp, "again.png")
                run([base, "scale", out, again, "1"], tmp)
                level9[name] = os.path.getsize(again)
    print("  %-9s %9s %7s %7s %7s %8s %8s %10s %8s %7s %7s" % (
        "", "process", "ratio", "cpu", "read", "enlarge", "encode", "bytes", "vs lvl 9", "memory",
        "work"))
    for name, samples in rows.items():
        wall = statistics.median(s[0] for s in samples)
        ratio = statistics.median(s[1] for s in samples)
        cpu = statistics.median(s[5] for s in samples)
        ph = [statistics.median(s[2][i] for s in samples) for i in range(3)]
        size = samples[-1][3]
        vs9 = "%8.3f" % (size / level9[name]) if name in level9 else "%8s" % "-"
        rss = statistics.median(s[4] for s in samples)
        print("  %-9s %9.1f %7.2f %7.2f %7.1f %8.1f %8.1f %10d %s %7.2f %7.2f" % (
            name, wall, ratio, cpu, *ph, size, vs9, rss / pixels, (rss - fixed) / pixels))
    for ext in ("bmp", "pcx"):
        out = os.path.join(tmp, "out." + ext)
        rss = run([cli, "scale", "--scale", str(factor), "-o", out, src], tmp)[3]
        print("  %s output: memory %.2f, work %.2f" % (ext, rss / pixels, (rss - fixed) / pixels))
    if args.imagemagick and factor == 4:
        walls = [run(["convert-im6.q16", src, "-filter", "point", "-resize", "400%",
                      os.path.join(tmp, "im.png")], tmp)[0] for _ in range(args.runs)]
        print("  %-9s %9.1f" % ("ImageMagick 400%", statistics.median(walls)))
    if args.heap:
        for ext in ("png", "bmp", "pcx"):
            heap_split(cli, tmp, src, factor, ext, pixels)


# Where a heap block belongs, by the functions on its allocation stack; the
# first rule that matches wins.
HEAP_KINDS = [
    ("output", ("IndexedImage::allocate",), ("ScaleJob::ScaleJob", "enlargeCells")),
    ("source", ("ScaleDocument::ReadImage",), ("",)),
    ("writer", ("deflateRows", "streamPng", "streamBmp", "streamPcx", "replaceFileContents",
                "writeImage"), ("",)),
    ("engine", ("ScaleJob", "SlopePass", "runEngine", "enlargeCells", "WorkerPool"), ("",)),
]
KIND_NAMES = [k[0] for k in HEAP_KINDS] + ["other"]


def heap_kind(stack):
    for kind, first, second in HEAP_KINDS:
        if any(f in stack for f in first) and any(s in stack for s in second):
            return kind
    return "other"


def massif_snapshots(path):
    """Yields each detailed snapshot of a massif file as {kind: bytes}."""
    split, frames = None, []
    with open(path) as f:
        for line in f:
            if line.startswith("snapshot="):
                if split is not None:
                    yield split
                split, frames = None, []
            elif line.startswith(("heap_tree=detailed", "heap_tree=peak")):
                split = dict.fromkeys(KIND_NAMES, 0)
            elif split is not None and re.match(r"\s*n\d+: ", line):
                depth = len(line) - len(line.lstrip(" "))
                children, rest = line.strip().split(": ", 1)
                size, _, where = rest.partition(" ")
                del frames[depth:]
                frames.append(where)
                if children == "n0" and depth > 0:  # a whole stack, leaf first
                    split[heap_kind(" ".join(frames[1:]))] += int(size)
    if split is not None:
        yield split


def heap_split(cli, tmp, src, factor, ext, pixels):
    if shutil.which("valgrind") is None:
        print("  heap: valgrind is not installed")
        return
    out = os.path.join(tmp, "massif")
    subprocess.run(["valgrind", "--tool=massif", "--detailed-freq=1", "--threshold=0.01",
                    "--massif-out-file=" + out, cli, "scale", "--scale", str(factor),
                    "-o", os.path.join(tmp, "heap." + ext), src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    snapshots = list(massif_snapshots(out))
    writing = [s for s in snapshots if s["writer"] > 0]
    for label, pick in (("peak", snapshots), ("writing", writing)):
        if not pick:
            continue
        top = max(pick, key=lambda s: sum(s.values()))
        print("  %s heap %-8s %s = %.2f x (output + source)" % (
            ext, label, ", ".join("%s %.1f MB" % (k, top[k] / 1e6) for k in KIND_NAMES),
            sum(top.values()) / pixels))

if __name__ == "__main__":
    main()
