#!/usr/bin/python3
"""Interoperability check of the image codecs against Pillow.

1. Every fixture in fixtures/manifest.json is decoded by the codecs (through
   image_tool) and by Pillow (the manifest's reference file); every index and
   every palette colour must agree. Where a PNG carries gAMA, the expected
   colour is floor(255 * (v / 255) ** (1 / (2.2 * g)) + 0.5).
2. Pictures written by the codecs (stride larger than the width, indices at
   and above the palette length, more than 256 colours, every PNG
   compression setting, pictures large enough to be compressed in several
   bands) are read back with Pillow, and PNGs also with libpng (through
   image_tool) and, where installed, ImageMagick; all must equal what was
   written.

usage: interop.py TOOL FIXTURE_DIR WORK_DIR"""
import json
import math
import os
import shutil
import subprocess
import sys

from PIL import Image

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def pillow_decoding(path):
    im = Image.open(path)
    im.load()
    if im.mode == "P":
        flat = im.getpalette()
        pal = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    elif im.mode == "L":
        pal = [(v, v, v) for v in range(256)]
    else:
        raise RuntimeError(f"{path}: unexpected Pillow mode {im.mode}")
    alpha = [255] * len(pal)
    trns = im.info.get("transparency")
    if isinstance(trns, int):
        alpha[trns] = 0
    elif isinstance(trns, bytes):
        for i, a in enumerate(trns[: len(alpha)]):
            alpha[i] = a
    return im.size, list(im.getdata()), pal, alpha


def run_tool(tool, *args):
    out = subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def gamma_corrected(v, g):
    return math.floor(255 * (v / 255) ** (1 / (2.2 * g)) + 0.5)


def split(c):
    return (c >> 24) & 255, (c >> 16) & 255, (c >> 8) & 255, c & 255


def compare_fixtures(tool, fixtures):
    with open(os.path.join(fixtures, "manifest.json")) as f:
        manifest = json.load(f)
    for name, entry in sorted(manifest.items()):
        ours = run_tool(tool, "read", os.path.join(fixtures, name))
        if not check("pixels" in ours, f"{name}: not decoded: {ours}"):
            continue
        (w, h), pixels, pal, alpha = pillow_decoding(os.path.join(fixtures, entry["reference"]))
        check((ours["width"], ours["height"]) == (w, h), f"{name}: size {ours['width']}x{ours['height']} != {w}x{h}")
        bad = [i for i, (a, b) in enumerate(zip(ours["pixels"], pixels)) if a != b]
        check(not bad and len(ours["pixels"]) == len(pixels), f"{name}: pixels differ at {bad[:5]}")
        check(len(ours["palette"]) == len(pal), f"{name}: {len(ours['palette'])} colours, Pillow {len(pal)}")
        g = entry.get("gamma")
        for i, (c, rgb, a) in enumerate(zip(ours["palette"], pal, alpha)):
            want = tuple(gamma_corrected(v, g) for v in rgb) if g else rgb
            got = split(c)
            if not check(got == (a, *want), f"{name}: colour {i} is {got}, expected {(a, *want)}"):
                break


def compare_writes(tool, work):
    os.makedirs(work, exist_ok=True)
    cases = [
        ("png", 13, 7, 2, 1), ("png", 13, 7, 3, 3), ("png", 13, 7, 16, 15), ("png", 13, 7, 17, 16),
        ("png", 13, 7, 16, 200),  # index far beyond a 16-colour palette
        ("png", 5, 3, 0, 0), ("png", 31, 9, 300, 255),
        ("bmp", 13, 7, 3, 10), ("bmp", 8, 4, 300, 255), ("bmp", 1, 1, 1, 0),
        ("pcx", 13, 7, 16, 40), ("pcx", 12, 3, 256, 255), ("pcx", 100, 2, 2, 0),
    ]
    # Every compression, on a picture of two 256 KiB bands (smallest: one,
    # its bands being larger) and on one below 8 bits.
    for compression in ("fast", "best", "smallest"):
        cases += [("png", 601, 450, 256, 255, compression), ("png", 203, 40, 3, 3, compression)]
    for fmt, w, h, n, highest, *compression in cases:
        label = f"write {fmt} {w}x{h} colours={n} highest={highest} {' '.join(compression)}"
        out = os.path.join(work, f"{fmt}_{w}x{h}_{n}_{highest}{''.join(compression)}.{fmt}")
        ours = run_tool(tool, "write", fmt, out, str(w), str(h), str(n), str(highest), *compression)
        (pw, ph), pixels, pal, alpha = pillow_decoding(out)
        check((pw, ph) == (w, h), f"{label}: Pillow reads {pw}x{ph}")
        check(pixels == ours["pixels"], f"{label}: pixels differ")
        kept = ours["palette"][:256]
        if fmt == "png":
            libpng = run_tool(tool, "read", out)
            check(libpng.get("pixels") == ours["pixels"], f"{label}: libpng reads other pixels")
            check_imagemagick(out, ours, label)
            entries = max(len(kept), highest + 1)
            depth = 1 if entries <= 2 else 2 if entries <= 4 else 4 if entries <= 16 else 8
            with open(out, "rb") as f:
                check(f.read(25)[24] == depth, f"{label}: bit depth is not {depth}")
        else:
            entries = 256
        check(len(pal) == entries, f"{label}: Pillow sees {len(pal)} colours, expected {entries}")
        for i in range(entries):
            if i < len(kept):
                a, r, g, b = split(kept[i])
                want = (a if fmt == "png" else 255, r, g, b)
            else:
                want = (255, 0, 0, 0)
            if not check((alpha[i], *pal[i]) == want, f"{label}: colour {i} is {(alpha[i], *pal[i])}, want {want}"):
                break


def check_imagemagick(path, ours, label):
    """ImageMagick's RGBA reading of a written PNG against the palette."""
    convert = shutil.which("convert-im6.q16")
    if not convert:
        return
    rgba = subprocess.run([convert, path, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    colours = ours["palette"][:256]
    want = bytearray()
    for i in ours["pixels"]:
        a, r, g, b = split(colours[i]) if i < len(colours) else (255, 0, 0, 0)
        want += bytes((r, g, b, a))
    # A fully transparent colour's RGB is ImageMagick's to choose.
    same = len(rgba) == len(want) and all(
        rgba[k + 3] == want[k + 3] and (want[k + 3] == 0 or rgba[k:k + 3] == want[k:k + 3])
        for k in range(0, len(want), 4))
    check(same, f"{label}: ImageMagick reads other colours")


def main():
    tool, fixtures, work = sys.argv[1:4]
    compare_fixtures(tool, fixtures)
    compare_writes(tool, work)
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
