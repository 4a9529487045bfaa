#!/usr/bin/python3
"""Draws Gridmint's bundled sample images: small 8-bit palette PNGs of our own.

Run with Debian's python3 (Pillow from python3-pil) from any folder:
    /usr/bin/python3 res/samples/make_samples.py
The images are committed; rerun only after changing a drawing.
"""
import os

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))

# A knight: index 0 is the background (Gridmint's default transparent index),
# 1 the dark outline, the rest flat areas with one shade each.
SPRITE_PALETTE = [
    (120, 176, 224),  # 0 sky background
    (24, 20, 37),     # 1 outline
    (232, 183, 150),  # 2 skin
    (194, 133, 105),  # 3 skin shade
    (139, 155, 180),  # 4 armour
    (90, 105, 136),   # 5 armour shade
    (228, 59, 68),    # 6 plume
    (158, 40, 53),    # 7 plume shade
    (254, 231, 97),   # 8 gold
]
SPRITE = """
................
......11........
.....1661.......
....167761......
....1111111.....
...144444441....
...145222541....
...142121241....
...142222241....
....1133311.....
...144444441....
..14584448541...
..15114441151...
...14455441.....
...1551.1551....
...111..1111....
"""

# A grass tile meeting a dirt path along two diagonals.
TILE_PALETTE = [
    (56, 132, 64),    # 0 grass
    (99, 199, 77),    # 1 grass light
    (38, 92, 66),     # 2 grass dark
    (190, 142, 94),   # 3 dirt
    (228, 166, 114),  # 4 dirt light
    (133, 90, 62),    # 5 dirt dark
]
TILE = """
0000001333333333
0100000133343333
0000200013333333
0010000001333433
0000000200133333
0200100000013333
0000000010001333
0001000000000133
3100000200100013
3310000000000001
3331000100020000
4333100000000010
3334310020001000
3333331000000000
3343333100100020
3333333310000000
"""

# A potion in sixteen colours, with a light and a shade ramp.
ICON_PALETTE = [
    (0, 0, 0),        # 0 background
    (20, 16, 30),     # 1 outline
    (94, 60, 42),     # 2 cork shade
    (150, 100, 64),   # 3 cork
    (200, 150, 100),  # 4 cork light
    (80, 90, 120),    # 5 glass shade
    (160, 176, 200),  # 6 glass
    (230, 238, 250),  # 7 glass highlight
    (60, 10, 60),     # 8 liquid darkest
    (110, 24, 110),   # 9 liquid dark
    (164, 40, 160),   # A liquid
    (214, 80, 200),   # B liquid light
    (250, 150, 240),  # C liquid shine
    (255, 255, 255),  # D sparkle
    (48, 48, 64),     # E shadow
    (255, 220, 120),  # F label
]
ICON = """
................
......1111......
.....133441.....
.....123341.....
......1221......
......1661......
.....165761.....
....16577761....
...1AAAAAACA1...
..19AAABBCCDA1..
..19AAFFFFBCA1..
..18AAF44FBBA1..
..189AFFFFABA1..
...1899AAAA91...
....11111111....
.....EEEEEE.....
"""


def draw(name, palette, rows, background="."):
    lines = [line for line in rows.strip().splitlines()]
    height = len(lines)
    width = len(lines[0])
    image = Image.new("P", (width, height))
    flat = []
    for rgb in palette:
        flat.extend(rgb)
    image.putpalette(flat)
    for y, line in enumerate(lines):
        assert len(line) == width, (name, y)
        for x, ch in enumerate(line):
            image.putpixel((x, y), 0 if ch == background else int(ch, 16))
    # Four bits per pixel keep the palette at 16 entries instead of 256.
    image.save(os.path.join(HERE, name), bits=4)
    return image


def main():
    draw("knight.png", SPRITE_PALETTE, SPRITE)
    draw("grass-path.png", TILE_PALETTE, TILE)
    draw("potion.png", ICON_PALETTE, ICON)


if __name__ == "__main__":
    main()
