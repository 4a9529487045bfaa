#!/usr/bin/python3
"""Writes the committed interoperability fixtures (run once; the output is
committed). Needs Debian's python3 with Pillow and ImageMagick's
convert-im6.q16. Files come from three independent writers: Pillow,
ImageMagick, and the small encoders below (for the variants neither tool
writes: interlaced low-depth PNG, gAMA, large BMP headers, raw and
trailer-less PCX, padded PCX lines).

manifest.json maps every fixture to the file whose Pillow decoding is the
expected result (itself, unless Pillow cannot read the variant) and to the
file gamma whose correction the reader must apply to the palette."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "fixtures")
W, H = 13, 7  # odd width: exercises padding and partial bytes


def picture(colours):
    """Small pixel art: a framed diagonal stripe pattern with a block."""
    pix = []
    for y in range(H):
        for x in range(W):
            if x in (0, W - 1) or y in (0, H - 1):
                v = 0
            elif 3 <= x <= 6 and 2 <= y <= 4:
                v = colours - 1
            else:
                v = ((x + 2 * y) // 2) % colours
            pix.append(v)
    return pix


def palette(n, seed=0):
    return [((37 * i + seed) % 256, (91 * i + 40 + seed) % 256, (173 * i + 7) % 256) for i in range(n)]


# ---- PNG ----

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def pack_row(values, depth):
    if depth == 8:
        return bytes(values)
    per = 8 // depth
    out = bytearray()
    for i in range(0, len(values), per):
        b = 0
        for k in range(per):
            v = values[i + k] if i + k < len(values) else 0
            b |= v << (8 - depth * (k + 1))
        out.append(b)
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_bytes(pix, pal, depth, interlace=False, trns=None, gamma=None):
    raw = bytearray()
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            for y in range(y0, H, dy):
                row = [pix[y * W + x] for x in range(x0, W, dx)]
                if row:
                    raw += b"\0" + pack_row(row, depth)
    else:
        for y in range(H):
            raw += b"\0" + pack_row(pix[y * W:(y + 1) * W], depth)
    out = b"\x89PNG\r\n\x1a\n"
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, 3, 0, 0, 1 if interlace else 0))
    if gamma is not None:
        out += png_chunk(b"gAMA", struct.pack(">I", round(gamma * 100000)))
    out += png_chunk(b"PLTE", b"".join(bytes(c) for c in pal))
    if trns:
        out += png_chunk(b"tRNS", bytes(trns))
    out += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    out += png_chunk(b"IEND", b"")
    return out


def pillow_png(name, n, depth, trns=None):
    im = Image.new("P", (W, H))
    im.putpalette([v for c in palette(n) for v in c])
    im.putdata(picture(n))
    kw = {"bits": depth}
    if trns:
        kw["transparency"] = bytes(trns)
    im.save(os.path.join(OUT, name), **kw)


# ---- BMP ----

def bmp_bytes(pix, pal, bits, header=40, clr_used=0):
    row_len = (W * bits + 7) // 8
    padded = (row_len + 3) & ~3
    rows = b""
    for y in range(H - 1, -1, -1):
        rows += pack_row(pix[y * W:(y + 1) * W], bits).ljust(padded, b"\0")
    pal_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
    info = struct.pack("<IiiHHIIiiII", header, W, H, 1, bits, 0, len(rows), 2835, 2835, clr_used, 0)
    if header > 40:
        # Bit masks, colour space "sRGB", end points, gamma, intent, profile.
        extra = struct.pack("<IIII", 0, 0, 0, 0) + b"BGRs" + b"\0" * 48
        extra += struct.pack("<IIII", 4, 0, 0, 0)
        info += extra[: header - 40]
    offset = 14 + len(info) + len(pal_bytes)
    # A wrong file-size field (as some writers leave it) must not matter.
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + info + pal_bytes + rows


# ---- PCX ----

def rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        v = data[i]
        n = 1
        while i + n < len(data) and data[i + n] == v and n < 63:
            n += 1
        if n == 1 and v < 0xC0:
            out.append(v)
        else:
            out += bytes((0xC0 | n, v))
        i += n
    return bytes(out)


def pcx_bytes(pix, pal, encoded=True, trailer=True, bytes_per_line=None, pad_value=0, per_line=True):
    bpl = bytes_per_line or W + (W & 1)
    lines = [bytes(pix[y * W:(y + 1) * W]) + bytes([pad_value]) * (bpl - W) for y in range(H)]
    if not encoded:
        data = b"".join(lines)
    elif per_line:
        data = b"".join(rle(line) for line in lines)
    else:
        data = rle(b"".join(lines))  # runs cross scanline ends
    head = struct.pack("<BBBBHHHHHH", 0x0A, 5, 1 if encoded else 0, 8, 2, 3, 2 + W - 1, 3 + H - 1, 72, 72)
    head += b"\0" * 48 + b"\0" + bytes([1]) + struct.pack("<HH", bpl, 1)
    head = head.ljust(128, b"\0")
    tail = b"\x0c" + b"".join(bytes(c) for c in pal).ljust(768, b"\0") if trailer else b""
    return head + data + tail


def main():
    global W, H
    os.makedirs(OUT, exist_ok=True)
    manifest = {}

    def put(name, data, reference=None, gamma=None):
        if data is not None:
            with open(os.path.join(OUT, name), "wb") as f:
                f.write(data)
        manifest[name] = {"reference": reference or name, "gamma": gamma}

    # PNG by Pillow: every bit depth, with and without tRNS.
    for depth, n in ((1, 2), (2, 4), (4, 16), (8, 200)):
        pillow_png(f"png_d{depth}.png", n, depth)
        put(f"png_d{depth}.png", None)
    pillow_png("png_d2_trns.png", 4, 2, trns=[0, 128])
    put("png_d2_trns.png", None)
    pillow_png("png_d8_trns.png", 200, 8, trns=[255, 0, 255, 17])
    put("png_d8_trns.png", None)
    # Interlaced 8-bit by ImageMagick.
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src.png")
        im = Image.new("P", (W, H))
        im.putpalette([v for c in palette(40) for v in c])
        im.putdata(picture(40))
        im.save(src)
        dst = os.path.join(OUT, "png_d8_interlaced_im.png")
        subprocess.run(["convert-im6.q16", src, "-strip", "-interlace", "PNG", "PNG8:" + dst], check=True)
        put("png_d8_interlaced_im.png", None)
        # 4-bit BMP by ImageMagick.
        im16 = Image.new("P", (W, H))
        im16.putpalette([v for c in palette(16, 5) for v in c])
        im16.putdata(picture(16))
        im16.save(src)
        subprocess.run(["convert-im6.q16", src, "-type", "palette", "BMP3:" + os.path.join(OUT, "bmp_4bit_40_im.bmp")],
                       check=True)
        put("bmp_4bit_40_im.bmp", None)
    # Interlaced low depths, tRNS and gAMA by the small encoder.
    for depth, n in ((1, 2), (2, 4), (4, 16)):
        put(f"png_d{depth}_interlaced.png", png_bytes(picture(n), palette(n), depth, interlace=True))
    put("png_d4_interlaced_trns.png",
        png_bytes(picture(16), palette(16), 4, interlace=True, trns=[0, 64, 255, 255, 200]))
    put("png_d8_gamma05.png", png_bytes(picture(30), palette(30), 8, gamma=0.5), gamma=0.5)
    put("png_d4_gamma10.png", png_bytes(picture(16), palette(16), 4, gamma=1.0), gamma=1.0)
    put("png_d2_gamma05_interlaced.png", png_bytes(picture(4), palette(4), 2, interlace=True, gamma=0.5),
        gamma=0.5)

    # BMP: Pillow writes 8-bit with the 40-byte header.
    im = Image.new("P", (W, H))
    im.putpalette([v for c in palette(60) for v in c])
    im.putdata(picture(60))
    im.save(os.path.join(OUT, "bmp_8bit_40_pillow.bmp"))
    put("bmp_8bit_40_pillow.bmp", None)
    for bits, n in ((1, 2), (4, 16), (8, 256)):
        for header in (40, 124):
            put(f"bmp_{bits}bit_{header}.bmp", bmp_bytes(picture(n), palette(n, 9), bits, header))
    # Pillow reads neither the 52- nor the 56-byte header: their reference is
    # the same picture with the 40-byte header.
    put("bmp_8bit_40_clr20.bmp", bmp_bytes(picture(20), palette(20, 3), 8, 40, clr_used=20))
    for header in (52, 56, 64, 108):
        put(f"bmp_8bit_{header}.bmp", bmp_bytes(picture(20), palette(20, 3), 8, header, clr_used=20),
            reference=None if header in (64, 108) else "bmp_8bit_40_clr20.bmp")
    put("bmp_4bit_clrused5.bmp", bmp_bytes(picture(5), palette(5, 1), 4, 40, clr_used=5))

    # PCX: Pillow writes run-length with trailer; the rest by the encoder,
    # checked against the run-length twin of the same picture.
    im = Image.new("P", (W, H))
    im.putpalette([v for c in palette(256, 2) for v in c])
    im.putdata(picture(256))
    im.save(os.path.join(OUT, "pcx_rle_trailer_pillow.pcx"))
    put("pcx_rle_trailer_pillow.pcx", None)
    pal = palette(256, 2)
    pix = picture(256)
    put("pcx_rle_trailer.pcx", pcx_bytes(pix, pal))
    put("pcx_raw_trailer.pcx", pcx_bytes(pix, pal, encoded=False), reference="pcx_rle_trailer.pcx")
    # Pillow overruns on lines padded by more than one byte.
    put("pcx_rle_padded.pcx", pcx_bytes(pix, pal, bytes_per_line=W + 5, pad_value=0xC7),
        reference="pcx_rle_trailer.pcx")
    put("pcx_rle_crossing.pcx", pcx_bytes(pix, pal, per_line=False), reference="pcx_rle_trailer.pcx")
    # Pillow looks for the trailer 769 bytes before the end, so files
    # without one must be larger than that: a bigger picture.
    W, H = 61, 23
    pix = picture(256)
    put("pcx_rle_notrailer.pcx", pcx_bytes(pix, pal, trailer=False))
    put("pcx_raw_notrailer.pcx", pcx_bytes(pix, pal, encoded=False, trailer=False),
        reference="pcx_rle_notrailer.pcx")

    with open(os.path.join(OUT, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
