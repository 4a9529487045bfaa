// Geometry of the palette pane, shared by painting and hit-testing so that
// what is drawn is exactly what a click finds. Coordinates are logical
// pixels of the whole list (scroll position already added); no Qt here.
//
//   block i starts at i * (Hb + 229)
//   +-------------------------------+  bar: x 0..224, Hb high
//   |             name              |
//   +-------------------------------+
//    [] [] [] ... 16 swatches of 13 x 13, 14 apart, from x 1, y top + Hb + 1
//    ... 16 rows (224 px) ...
//   5 px, then the next block
#pragma once

#include <array>

namespace gridmint {

struct PaletteRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

class PaletteLayout {
public:
    static constexpr int kWidth = 225; // logical width of the list
    static constexpr int kSwatchSize = 13;
    static constexpr int kSwatchPitch = 14; // includes the one-pixel gap
    static constexpr int kGrid = 16;        // swatches per row and rows per block
    static constexpr int kBlockBody = 229;  // 16 rows of 14 plus 5

    // `barHeight` is the title bar's height: the name's text height plus 2.
    explicit PaletteLayout(int barHeight) : hb_(barHeight < 1 ? 1 : barHeight) {}

    int barHeight() const { return hb_; }
    int pitch() const { return hb_ + kBlockBody; }
    int blockTop(int block) const { return block * pitch(); }
    // Height of the scroll extent for `count` blocks.
    int extentHeight(int count) const { return pitch() * count; }

    PaletteRect bar(int block) const { return {0, blockTop(block), kWidth, hb_}; }
    // The name is centred in the bar below its top line.
    PaletteRect nameRect(int block) const { return {0, blockTop(block) + 1, kWidth, hb_ - 1}; }
    PaletteRect swatch(int block, int colour) const
    {
        const int row = colour / kGrid;
        const int column = colour % kGrid;
        return {1 + kSwatchPitch * column, blockTop(block) + hb_ + 1 + kSwatchPitch * row,
                kSwatchSize, kSwatchSize};
    }

    // The block under logical y, or -1 above the list. It may be past the
    // last entry: the caller checks against the entry count.
    int blockAt(int y) const { return y < 0 ? -1 : y / pitch(); }

    // The colour whose 14 x 14 hit cell (the swatch plus the gap to its left
    // and below) holds the point, or -1 in the bar, the gap under it, or
    // right of or below the grid.
    int colourAt(int x, int y) const
    {
        if (x < 0 || y < 0) {
            return -1;
        }
        const int column = x / kSwatchPitch;
        const int p = y % pitch();
        if (p < hb_ + 1 || column >= kGrid) {
            return -1;
        }
        const int row = (p - hb_ - 1) / kSwatchPitch;
        if (row >= kGrid) {
            return -1;
        }
        return kGrid * row + column;
    }

    // The two-tone frame around the chosen swatch, as one-pixel runs: the
    // outer ring is light at the top and left and dark at the bottom and
    // right, the inner ring the other way round.
    struct Frame {
        std::array<PaletteRect, 4> light;
        std::array<PaletteRect, 4> dark;
    };
    static Frame selectionFrame(int x, int y)
    {
        return Frame{
            {{{x, y, 1, 13}, {x, y, 13, 1}, {x + 2, y + 11, 10, 1}, {x + 11, y + 2, 1, 9}}},
            {{{x + 1, y + 1, 1, 11},
              {x + 1, y + 1, 11, 1},
              {x + 1, y + 12, 11, 1},
              {x + 12, y + 1, 1, 12}}}};
    }

private:
    int hb_;
};

} // namespace gridmint
