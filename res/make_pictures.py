#!/usr/bin/python3
"""Draws the program's pictures as small pixel-art PNGs.

Run with the system Python (Pillow): /usr/bin/python3 res/make_pictures.py
The PNGs are committed; run this again only after changing a drawing.

Tool buttons are 96 x 24 strips of four 24 x 24 states side by side:
normal, pushed, hover, disabled. Every tool has a normal strip and an
active strip (the active one looks pressed in, with a warm face).
"""

import os

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = HERE

# Colours of the glyph art. '.' is transparent.
INK = {
    "#": (32, 44, 84, 255),      # dark blue ink
    "o": (96, 128, 200, 255),    # mid blue
    "l": (176, 196, 236, 255),   # light blue
    "g": (150, 150, 150, 255),   # grey
    "r": (208, 48, 40, 255),     # red marker
    "y": (240, 200, 64, 255),    # yellow
    "w": (255, 255, 255, 255),
    "b": (120, 80, 40, 255),     # brown (wood)
    "k": (0, 0, 0, 255),
}

GLYPHS = {
    # Plain block enlargement: a hard staircase.
    "nearest": """
................
................
................
............####
............####
............####
........########
........########
........########
....############
....############
....############
################
################
################
................
""",
    # The engine's result: the same staircase turned into a slope.
    "auto": """
................
................
..............l#
............ll##
...........l####
.........ll#####
........l#######
......ll########
.....l##########
...ll###########
..l#############
ll##############
################
################
################
................
""",
    # Diagonal preview (hidden tool): a dashed 45-degree line.
    "diagonal": """
................
..............r.
.............##.
................
................
..........##....
.........##.....
................
................
......##........
.....##.........
................
................
..##............
.r#.............
................
""",
    # Thin 45-degree line with its two end points.
    "diagonal_line": """
................
.............rr.
.............rr.
............#...
...........#....
..........#.....
.........#......
........#.......
.......#........
......#.........
.....#..........
....#...........
...#............
.rr.............
.rr.............
................
""",
    # A block whose corner is cut into a slope.
    "corner": """
................
................
.###########r...
.##########ol...
.#########ol....
.########ol.....
.#######ol......
.######ol.......
.#####ol........
.####ol.........
.###ol..........
.##ol...........
.#ol............
.r..............
................
................
""",
    # A pencil plotting a dot.
    "dot": """
................
............kk..
...........kyyk.
..........kyyyyk
.........kyyyyk.
........kyyyyk..
.......kyyyyk...
......kyyyyk....
.....kyyyyk.....
....kyyyyk......
...kbbbyk.......
...kbbbk........
..kbbkk.........
..kkk...........
.rr.............
.rr.............
""",
}


def zoom_glyph():
    """Magnifying glass with a plus in the lens, handle to the lower right."""
    img = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    for y in range(16):
        for x in range(16):
            d2 = (x - 6) ** 2 + (y - 6) ** 2
            if d2 <= 16:
                img.putpixel((x, y), INK["l"])
            elif d2 <= 30:
                img.putpixel((x, y), INK["k"])
    img.putpixel((4, 3), INK["w"])
    img.putpixel((3, 4), INK["w"])
    for i in range(-2, 3):
        img.putpixel((6 + i, 6), INK["#"])
        img.putpixel((6, 6 + i), INK["#"])
    for t in range(10, 15):
        img.putpixel((t, t), INK["b"])
        img.putpixel((t + 1, t), INK["b"] if t < 14 else INK["k"])
        img.putpixel((t, t + 1), INK["k"])
    img.putpixel((15, 15), INK["k"])
    return img


def glyph(name):
    if name == "zoom":
        return zoom_glyph()
    rows = [r for r in GLYPHS[name].strip("\n").split("\n")]
    assert len(rows) == 16, name
    img = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    for y, row in enumerate(rows):
        assert len(row) == 16, (name, y, row)
        for x, ch in enumerate(row):
            if ch != ".":
                img.putpixel((x, y), INK[ch])
    return img


def greyed(img):
    """The disabled look: a grey glyph with a white emboss below right."""
    out = Image.new("RGBA", img.size, (0, 0, 0, 0))
    w, h = img.size
    for y in range(h):
        for x in range(w):
            if img.getpixel((x, y))[3] and x + 1 < w and y + 1 < h:
                out.putpixel((x + 1, y + 1), (255, 255, 255, 255))
    for y in range(h):
        for x in range(w):
            if img.getpixel((x, y))[3]:
                out.putpixel((x, y), (140, 140, 140, 255))
    return out


def bevel(img, ox, face, raised, border=None):
    light, dark, darkest = (255, 255, 255, 255), (128, 128, 128, 255), (64, 64, 64, 255)
    for y in range(24):
        for x in range(24):
            img.putpixel((ox + x, y), face)
    top, bottom = (light, darkest) if raised else (darkest, light)
    inner_top, inner_bottom = ((232, 232, 232, 255), dark) if raised else (dark, (232, 232, 232, 255))
    for i in range(24):
        img.putpixel((ox + i, 0), top)
        img.putpixel((ox, i), top)
        img.putpixel((ox + i, 23), bottom)
        img.putpixel((ox + 23, i), bottom)
    for i in range(1, 23):
        img.putpixel((ox + i, 1), inner_top)
        img.putpixel((ox + 1, i), inner_top)
        img.putpixel((ox + i, 22), inner_bottom)
        img.putpixel((ox + 22, i), inner_bottom)
    if border:
        for i in range(24):
            img.putpixel((ox + i, 0), border)
            img.putpixel((ox, i), border)
            img.putpixel((ox + i, 23), border)
            img.putpixel((ox + 23, i), border)


def strip(name, active):
    g = glyph(name)
    img = Image.new("RGBA", (96, 24), (0, 0, 0, 255))
    if active:
        faces = [(255, 222, 140, 255), (236, 196, 104, 255), (255, 236, 180, 255),
                 (216, 208, 190, 255)]
        raised = [False, False, False, False]
    else:
        faces = [(212, 212, 212, 255), (188, 188, 188, 255), (232, 240, 255, 255),
                 (212, 212, 212, 255)]
        raised = [True, False, True, True]
    for state in range(4):
        ox = 24 * state
        bevel(img, ox, faces[state], raised[state],
              border=(48, 96, 192, 255) if state == 2 else None)
        pushed_in = not raised[state]
        shift = 5 if pushed_in else 4
        art = greyed(g) if state == 3 else g
        img.alpha_composite(art, (ox + shift, shift))
    return img


def thickness_icons():
    """Ten 16 x 16 icons: a round dot whose diameter grows with the thickness."""
    img = Image.new("RGBA", (160, 16), (0, 0, 0, 0))
    for t in range(10):
        d = 1 + round(t * 14 / 9)  # 1 .. 15 pixels across
        # an odd diameter centres on pixel 7, an even one on the corner
        # between pixels 7 and 8
        c = 7.5 if d % 2 else 8.0
        r2 = (d / 2) ** 2 + 0.3
        for y in range(16):
            for x in range(16):
                if (x + 0.5 - c) ** 2 + (y + 0.5 - c) ** 2 <= r2:
                    img.putpixel((16 * t + x, y), (24, 24, 24, 255))
    return img


def zoom_cursor():
    """32 x 32: the lens at the top left (the hot spot is 0,0), the handle
    pointing to the lower right."""
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    k, w, glass = (0, 0, 0, 255), (255, 255, 255, 255), (200, 224, 255, 140)
    cx, cy, r = 9.5, 9.5, 8.0
    for y in range(32):
        for x in range(32):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r - 2:
                img.putpixel((x, y), glass)
            elif d <= r:
                img.putpixel((x, y), k)
            elif d <= r + 1:
                img.putpixel((x, y), w)
    for i in range(-3, 4):  # plus sign
        img.putpixel((9 + i, 9), k)
        img.putpixel((9, 9 + i), k)
    for t in range(15, 29):  # handle, three pixels thick with a white edge
        for o in (-2, 2):
            for p in (t, t + o):
                q = t - o if p == t else t
                if 0 <= p < 32 and 0 <= q < 32 and img.getpixel((p, q))[3] == 0:
                    img.putpixel((p, q), w)
        for o in (-1, 0, 1):
            if t + o < 32:
                img.putpixel((t, t + o), (110, 70, 30, 255))
    for t in range(15, 18):  # metal collar where the handle meets the ring
        for o in (-1, 0, 1):
            img.putpixel((t, t + o), k)
    return img


def program_icon(scale):
    """A hard staircase on the left turned into a smooth slope on the right,
    on a rounded dark tile; drawn at 32 x 32 and enlarged pixel by pixel."""
    base = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    tile, mint, mint_dark, grid = (36, 52, 64, 255), (110, 220, 160, 255), (60, 160, 110, 255), (56, 76, 90, 255)
    for y in range(32):
        for x in range(32):
            corner = min(x, 31 - x) + min(y, 31 - y)
            if min(x, 31 - x) < 3 and min(y, 31 - y) < 3 and corner < 3:
                continue
            base.putpixel((x, y), tile)
            if (x % 4 == 0 or y % 4 == 0) and 2 < x < 29 and 2 < y < 29:
                base.putpixel((x, y), grid)
    # left half: blocks 4 across and 3 high stepping up to the right
    for x in range(3, 16):
        top = 25 - 3 * ((x - 3) // 4)
        for y in range(top, 29):
            base.putpixel((x, y), mint)
    # right half: the slope the engine would draw through the same steps
    for x in range(16, 29):
        top = round(25 - 0.75 * (x - 3))
        for y in range(top, 29):
            base.putpixel((x, y), mint)
        base.putpixel((x, top), mint_dark)
    return base.resize((32 * scale, 32 * scale), Image.NEAREST) if scale > 1 else base


def main():
    os.makedirs(os.path.join(OUT, "tools"), exist_ok=True)
    for name in list(GLYPHS) + ["zoom"]:
        strip(name, False).save(os.path.join(OUT, "tools", name + ".png"))
        strip(name, True).save(os.path.join(OUT, "tools", name + "_active.png"))
    thickness_icons().save(os.path.join(OUT, "thickness.png"))
    zoom_cursor().save(os.path.join(OUT, "zoom_cursor.png"))
    program_icon(1).save(os.path.join(OUT, "icon.png"))
    program_icon(8).save(os.path.join(OUT, "icon256.png"))
    # The desktop's icon theme: whole enlargements where the size allows,
    # smoothed down from the largest for 16 and 48.
    hicolor = os.path.join(OUT, "linux", "icons")
    os.makedirs(hicolor, exist_ok=True)
    for size in (16, 32, 48, 64, 128, 256):
        icon = program_icon(size // 32) if size % 32 == 0 else program_icon(8).resize((size, size), Image.LANCZOS)
        icon.save(os.path.join(hicolor, f"{size}.png"))


if __name__ == "__main__":
    main()
