#!/usr/bin/python3
"""Pictures for judging cell mode by eye, from the sample sheets.

    /usr/bin/python3 res/samples/preview_cells.py build/release/src/cli/gridmint-cli out/cells

writes into the output folder (created):
  tiles-side-by-side.png   dungeon-tiles.png at x4: whole image | cell mode
  slime-side-by-side.png   slime-sheet.png at x4: whole image | cell mode
  water-3x3.png, bricks-3x3.png   one tile repeated 3 x 3 after its own x4
                           enlargement | after a wrap-mode enlargement
  tiles-changes.png        cell-mode result with its change map laid over it
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
GAP = 8


def scale(cli, src, dst, *options):
    subprocess.run([cli, "scale", "--scale", "4", *options, "-o", dst, src], check=True,
                   stdout=subprocess.DEVNULL)
    return Image.open(dst).convert("RGBA")


def side_by_side(*images):
    width = sum(im.width for im in images) + GAP * (len(images) - 1)
    out = Image.new("RGBA", (width, max(im.height for im in images)), (255, 255, 255, 255))
    x = 0
    for im in images:
        out.paste(im, (x, 0))
        x += im.width + GAP
    return out


def repeat3(im):
    out = Image.new("RGBA", (3 * im.width, 3 * im.height))
    for y in range(3):
        for x in range(3):
            out.paste(im, (x * im.width, y * im.height))
    return out


def main():
    cli, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    tiles = os.path.join(HERE, "dungeon-tiles.png")
    slime = os.path.join(HERE, "slime-sheet.png")
    with tempfile.TemporaryDirectory() as tmp:
        t = lambda name: os.path.join(tmp, name)
        whole = scale(cli, tiles, t("whole.png"))
        cells = scale(cli, tiles, t("cells.png"), "--cell", "16x16", "--change-map", t("map.png"))
        side_by_side(whole, cells).save(os.path.join(outdir, "tiles-side-by-side.png"))
        overlay = cells.copy()
        overlay.alpha_composite(Image.open(t("map.png")).convert("RGBA"))
        side_by_side(cells, Image.blend(cells, overlay, 0.6)).save(
            os.path.join(outdir, "tiles-changes.png"))

        sheet = ["--cell", "16x16", "--cell-margin", "1", "--cell-spacing", "1"]
        side_by_side(scale(cli, slime, t("sw.png")), scale(cli, slime, t("sc.png"), *sheet)).save(
            os.path.join(outdir, "slime-side-by-side.png"))

        source = Image.open(tiles)
        for name, column in (("water", 2), ("bricks", 3)):
            tile = source.crop((column * 16, 0, column * 16 + 16, 16))
            tile.save(t(name + ".png"))
            alone = scale(cli, t(name + ".png"), t(name + "-alone.png"))
            wrapped = scale(cli, t(name + ".png"), t(name + "-wrap.png"), "--cell", "16x16",
                            "--wrap")
            side_by_side(repeat3(alone), repeat3(wrapped)).save(
                os.path.join(outdir, name + "-3x3.png"))


if __name__ == "__main__":
    main()
