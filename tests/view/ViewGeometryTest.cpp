#include "ui/ViewGeometry.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace gridmint {
namespace {

TEST(CellBorderLines, FullCellsOnlyWithMarginAndSpacing)
{
    // A 20-pixel row, margin 1, cells of 5, spacing 2: cells at 1, 8 (the
    // one at 15 would end at 20, inside the far margin's pixel 19: not full).
    // Zoom 2 x factor 3 = 6 units per source pixel.
    CellBorders b;
    CellBorderLines(2, 3, 20, 5, 1, 2, 0, 1000, b);
    EXPECT_EQ(b.begin, 6);
    EXPECT_EQ(b.end, 13 * 6);
    EXPECT_EQ(b.edges, (std::vector<std::int64_t>{6, 36, 48, 78}));
    // Only the borders in the window; without spacing shared ones once.
    CellBorderLines(1, 1, 16, 4, 0, 0, 5, 13, b);
    EXPECT_EQ(b.edges, (std::vector<std::int64_t>{8, 12}));
    EXPECT_EQ(b.end, 16);
    // No full cell: nothing.
    CellBorderLines(1, 1, 6, 5, 1, 0, 0, 100, b);
    EXPECT_EQ(b.begin, b.end);
    EXPECT_TRUE(b.edges.empty());
}

TEST(ZoomScrollOffset, CentresThePointOrKeepsTheCentreAndClampsToTheExtent)
{
    // 4 -> 8: (403, 205) lies in result pixel (100, 51), whose left/top edge
    // (800, 408) comes to the centre of a 200 x 100 client.
    EXPECT_EQ(ZoomScrollOffset(4, 8, {403, 205}, {0, 0}, 200, 100, 1000, 1000),
              (PlanePoint{700, 358}));
    // 8 -> 4 without a point: the centre (1100, 650) is in result pixel
    // (137, 81); a point with a coordinate below 1 counts as none.
    const PlanePoint kept{4 * 137 - 100, 4 * 81 - 50};
    EXPECT_EQ(ZoomScrollOffset(8, 4, {-1, -1}, {1000, 600}, 201, 101, 1000, 1000), kept);
    EXPECT_EQ(ZoomScrollOffset(8, 4, {0, 300}, {1000, 600}, 201, 101, 1000, 1000), kept);
    // 100 x 50 at zoom 8 spans 801 x 401 with the closing grid line, which
    // then meets the window's right and bottom edges.
    EXPECT_EQ(ZoomScrollOffset(4, 8, {399, 199}, {0, 0}, 200, 100, 100, 50),
              (PlanePoint{601, 301}));
    EXPECT_EQ(ZoomScrollOffset(4, 8, {5, 5}, {0, 0}, 200, 100, 100, 50), (PlanePoint{0, 0}));
    // An image smaller than the window stays at the top left.
    EXPECT_EQ(ZoomScrollOffset(1, 2, {40, 30}, {0, 0}, 640, 480, 50, 40), (PlanePoint{0, 0}));
}

// --- The zoomed copy ------------------------------------------------------

TEST(ZoomCopy, MatchesAPlainPerPixelCopyAtEveryZoomAndOffset)
{
    std::mt19937 random(7);
    // Widths off the row stride on purpose.
    IndexedBitmap source(13, 9);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            source.row(y)[x] = static_cast<std::uint8_t>(random() & 0xFF);
        }
    }
    for (const int zoom : {1, 2, 3, 4, 7, 8, 12, 16, 32}) {
        const std::int64_t zw = std::int64_t{zoom} * source.width();
        const std::int64_t zh = std::int64_t{zoom} * source.height();
        for (int trial = 0; trial < 25; ++trial) {
            PlaneRect area;
            area.left = static_cast<std::int64_t>(random() % static_cast<unsigned>(zw));
            area.top = static_cast<std::int64_t>(random() % static_cast<unsigned>(zh));
            area.right =
                area.left + 1 +
                static_cast<std::int64_t>(random() % static_cast<unsigned>(zw - area.left));
            area.bottom =
                area.top + 1 +
                static_cast<std::int64_t>(random() % static_cast<unsigned>(zh - area.top));
            const std::int64_t w = area.width();
            const std::int64_t h = area.height();
            // A guard column on the right catches writes past each row.
            const std::int64_t stride = w + 1;
            std::vector<std::uint8_t> out(static_cast<std::size_t>(stride * h), 0xEE);
            ZoomCopy(source, zoom, area, out.data(), stride);

            std::vector<std::uint8_t> got;
            std::vector<std::uint8_t> want;
            for (std::int64_t y = 0; y < h; ++y) {
                for (std::int64_t x = 0; x < w; ++x) {
                    got.push_back(out[static_cast<std::size_t>(y * stride + x)]);
                    const auto sy = static_cast<std::int32_t>((area.top + y) / zoom);
                    const auto sx = static_cast<std::size_t>((area.left + x) / zoom);
                    want.push_back(source.row(sy)[sx]);
                }
                ASSERT_EQ(out[static_cast<std::size_t>(y * stride + w)], 0xEE) << "row " << y;
            }
            ASSERT_EQ(got, want) << "zoom " << zoom << " area " << area.left << ',' << area.top
                                 << ' ' << w << 'x' << h;
        }
    }
}

// --- Grid -----------------------------------------------------------------

std::vector<GridLine> GridLinesIn(int zoom, int scale, std::int64_t from, std::int64_t to)
{
    std::vector<GridLine> lines;
    GridLines(zoom, scale, from, to, lines);
    return lines;
}

TEST(GridLines, SourceEdgesDottedBelowZoom12EveryResultPixelFrom12)
{
    using Lines = std::vector<GridLine>;
    // Zoom 2, factor 6: dotted every 12, the first not left of the start.
    EXPECT_EQ(GridLinesIn(2, 6, 13, 37), (Lines{{24, false}, {36, false}}));
    // Cells below 12 units: no grid at all.
    EXPECT_TRUE(GridLinesIn(2, 5, 0, 500).empty());
    // Zoom 16, factor 4: every 16, solid at the source edges.
    EXPECT_EQ(GridLinesIn(16, 4, 20, 100),
              (Lines{{32, false}, {48, false}, {64, true}, {80, false}, {96, false}}));
    EXPECT_EQ(GridLinesIn(12, 1, 0, 13), (Lines{{0, true}, {12, true}}));
}

// --- Tool outlines -------------------------------------------------------

const PlaneRect kEverything{0, 0, 1 << 20, 1 << 20};

std::vector<Cell> Outlines(int zoom, int scale, const OverlayState& state,
                           const PlaneRect& visible = kEverything)
{
    std::vector<Cell> cells;
    // A 16 x 16 source enlarged by `scale`.
    OverlayCells(zoom, scale, 16 * scale, 16 * scale, state, visible, cells);
    return cells;
}

TEST(OverlayCells, NothingBelowFourUnitsPerCell)
{
    OverlayState hover;
    hover.hoverShown = true;
    hover.hoverX = 5;
    hover.hoverY = 6;
    EXPECT_TRUE(Outlines(1, 1, hover).empty());
    EXPECT_TRUE(Outlines(1, 3, hover).empty());
    // Zoom 2, factor 5: no grid, but a 10-unit cell shows the hover outline.
    EXPECT_EQ(Outlines(2, 5, hover), (std::vector<Cell>{{1, 1}}));
    EXPECT_EQ(Outlines(2, 2, hover), (std::vector<Cell>{{2, 3}}));
}

TEST(OverlayCells, StraightPreviewShowsExactlyWhatTheCornerDragRewrites)
{
    OverlayState line;
    line.lineKind = 1;
    // Same cell: the drag changes nothing, so nothing is outlined.
    line.startX = 9;
    line.startY = 9;
    line.endX = 10;
    line.endY = 11;
    EXPECT_TRUE(Outlines(8, 4, line).empty());

    // Factor 4, anchor (0, 0), pointer (11, 9): the edit runs along the
    // anchor's row (11 > 9 in result pixels) though the cells are two apart
    // both ways; the preview follows the edit, the pointer's cell excluded.
    line.startX = 0;
    line.startY = 0;
    line.endX = 11;
    line.endY = 9;
    EXPECT_EQ(Outlines(8, 4, line), (std::vector<Cell>{{0, 0}, {1, 0}}));

    // The hover outline comes first, then the run.
    line.hoverShown = true;
    line.hoverX = 40;
    line.hoverY = 4;
    EXPECT_EQ(Outlines(8, 4, line), (std::vector<Cell>{{10, 1}, {0, 0}, {1, 0}}));
}

TEST(OverlayCells, DiagonalPreviewOnlyOnA45DegreeLineWithBothEnds)
{
    OverlayState line;
    line.lineKind = 2;
    line.startX = 13;
    line.startY = 13;
    line.endX = 12;
    line.endY = 14;
    // The same cell: that one cell.
    EXPECT_EQ(Outlines(4, 4, line), (std::vector<Cell>{{3, 3}}));

    line.endX = 1;
    line.endY = 25;
    EXPECT_EQ(Outlines(4, 4, line), (std::vector<Cell>{{3, 3}, {2, 4}, {1, 5}, {0, 6}}));

    line.endY = 29; // three across, four down
    EXPECT_TRUE(Outlines(4, 4, line).empty());

    line.lineKind = 3;
    line.endY = 25;
    EXPECT_TRUE(Outlines(4, 4, line).empty());
}

TEST(OverlayCells, OnlyVisibleCellsEvenForAFarEnd)
{
    OverlayState line;
    line.lineKind = 2;
    line.endX = 1 << 30;
    line.endY = 1 << 30;
    // Cells of 16 units; the visible area touches cells 2..3 across and 1..2 down.
    const std::vector<Cell> cells = Outlines(4, 4, line, PlaneRect{40, 20, 60, 40});
    EXPECT_EQ(cells, (std::vector<Cell>{{2, 2}}));
}

} // namespace
} // namespace gridmint
