#!/usr/bin/python3
"""Draws the sample sheets for cell mode: a tileset and a sprite sheet of our own.

Run with Debian's python3 (Pillow from python3-pil) from any folder:
    /usr/bin/python3 res/samples/make_sheets.py
The images are committed; rerun only after changing a drawing.

dungeon-tiles.png: eight 16 x 16 tiles packed without margin or spacing, as
    tile editors export them. Dark tiles sit next to light ones, so a whole-
    image enlargement slopes their shared edges; try --cell 16x16. The water
    and brick tiles repeat seamlessly: try --cell 16x16 --wrap.
slime-sheet.png: four 16 x 16 frames of a bouncing slime with a margin and a
    spacing of 1 pixel in a light guide colour; try --cell 16x16
    --cell-margin 1 --cell-spacing 1.
"""
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
TILE = 16

TILE_PALETTE = [
    (20, 18, 28),     # 0 outline, deep shadow
    (56, 132, 64),    # 1 grass
    (99, 199, 77),    # 2 grass light
    (38, 92, 66),     # 3 grass dark
    (120, 120, 132),  # 4 stone
    (168, 168, 180),  # 5 stone light
    (78, 76, 92),     # 6 stone dark
    (40, 90, 200),    # 7 water
    (120, 190, 250),  # 8 water light
    (140, 48, 40),    # 9 brick
    (220, 200, 170),  # 10 mortar
    (190, 142, 94),   # 11 dirt
    (133, 90, 62),    # 12 dirt dark
    (240, 120, 30),   # 13 lava
    (255, 220, 90),   # 14 lava light
    (96, 60, 36),     # 15 wood dark
]


def tile_grass(d):
    d.rectangle((0, 0, 15, 15), fill=1)
    for x, y in ((2, 3), (9, 1), (12, 9), (4, 11), (7, 6)):
        d.line((x, y + 2, x + 1, y), fill=2)
        d.point((x + 2, y + 2), fill=3)


def tile_floor(d):
    d.rectangle((0, 0, 15, 15), fill=4)
    d.line((0, 7, 15, 7), fill=6)
    d.line((7, 0, 7, 7), fill=6)
    d.line((12, 8, 12, 15), fill=6)
    d.line((1, 1, 5, 5), fill=5)  # a scratch
    d.line((9, 10, 11, 14), fill=6)


def tile_water(d):
    # Wave crests at 45 degrees every 8 pixels: they meet across the edges.
    d.rectangle((0, 0, 15, 15), fill=7)
    for y in range(TILE):
        for x in range(TILE):
            if (x + y) % 8 in (0, 1) and (x - y) % 16 < 10:
                d.point((x, y), fill=8)


def tile_bricks(d):
    # Running bond: rows of 8 x 4 bricks, offset every other row.
    d.rectangle((0, 0, 15, 15), fill=10)
    for row in range(4):
        y = row * 4
        shift = 0 if row % 2 == 0 else 4
        for col in range(-1, 3):
            x = col * 8 + shift
            d.rectangle((x, y, x + 6, y + 2), fill=9)


def tile_path(d):
    d.rectangle((0, 0, 15, 15), fill=1)
    d.polygon([(0, 15), (0, 9), (9, 0), (15, 0), (15, 6), (6, 15)], fill=11)
    d.line((0, 9, 9, 0), fill=12)
    d.line((6, 15, 15, 6), fill=12)


def tile_bush(d):
    d.rectangle((0, 0, 15, 15), fill=1)
    d.ellipse((1, 2, 14, 15), fill=0)
    d.ellipse((2, 3, 13, 14), fill=3)
    d.ellipse((4, 4, 11, 10), fill=1)
    d.point((6, 6), fill=2)
    d.point((9, 8), fill=2)


def tile_crate(d):
    d.rectangle((0, 0, 15, 15), fill=11)
    d.rectangle((0, 0, 15, 15), outline=15)
    d.rectangle((2, 2, 13, 13), outline=15)
    d.line((2, 13, 13, 2), fill=15)
    d.line((3, 13, 13, 3), fill=12)


def tile_lava(d):
    d.rectangle((0, 0, 15, 15), fill=0)
    d.ellipse((3, 3, 12, 12), fill=13)
    d.polygon([(6, 5), (10, 6), (8, 10)], fill=14)


TILES = [tile_grass, tile_floor, tile_water, tile_bricks,
         tile_path, tile_bush, tile_crate, tile_lava]

SLIME_PALETTE = [
    (255, 200, 230),  # 0 guide colour of margin and spacing
    (200, 226, 255),  # 1 sky
    (24, 36, 30),     # 2 outline
    (60, 160, 80),    # 3 slime
    (130, 220, 120),  # 4 slime light
    (30, 100, 56),    # 5 slime shade
    (250, 250, 250),  # 6 eye
    (90, 110, 90),    # 7 floor shadow
]


def slime_frame(d, squash):
    """One frame: a blob whose width grows as its height shrinks."""
    d.rectangle((0, 0, 15, 15), fill=1)
    h = 12 - squash * 2
    w = 10 + squash * 2
    left = (16 - w) // 2
    top = 15 - h
    d.ellipse((left - 1, 14, left + w, 15), fill=7)
    d.ellipse((left, top, left + w - 1, 15), fill=2)
    d.ellipse((left + 1, top + 1, left + w - 2, 14), fill=5)
    d.ellipse((left + 1, top + 1, left + w - 3, 12), fill=3)
    d.ellipse((left + 3, top + 2, left + 5, top + 4), fill=4)
    eye_y = top + h // 2
    d.point((left + w // 2 - 2, eye_y), fill=6)
    d.point((left + w // 2 + 2, eye_y), fill=6)


def save(name, palette, image):
    flat = []
    for rgb in palette:
        flat.extend(rgb)
    image.putpalette(flat)
    image.save(os.path.join(HERE, name), bits=4)


def main():
    tiles = Image.new("P", (4 * TILE, 2 * TILE))
    for i, draw_tile in enumerate(TILES):
        tile = Image.new("P", (TILE, TILE))
        draw_tile(ImageDraw.Draw(tile))
        tiles.paste(tile, ((i % 4) * TILE, (i // 4) * TILE))
    save("dungeon-tiles.png", TILE_PALETTE, tiles)

    margin, spacing, frames = 1, 1, 4
    sheet = Image.new("P", (2 * margin + frames * TILE + (frames - 1) * spacing,
                            2 * margin + TILE))
    for i, squash in enumerate((0, 1, 2, 1)):
        frame = Image.new("P", (TILE, TILE))
        slime_frame(ImageDraw.Draw(frame), squash)
        sheet.paste(frame, (margin + i * (TILE + spacing), margin))
    save("slime-sheet.png", SLIME_PALETTE, sheet)


if __name__ == "__main__":
    main()
