#include "ui/ViewGeometry.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace gridmint {
namespace {

// --- Scrolling and the zoom's centring --------------------------------------

TEST(ZoomScrollOffset, BringsTheLeftTopEdgeOfThePixelUnderThePointToTheCentre)
{
    // 4 -> 8: the point (403, 205) lies in result pixel (100, 51), whose
    // left/top edge is at (800, 408) at zoom 8.
    const PlanePoint p = ZoomScrollOffset(4, 8, {403, 205}, {0, 0}, 200, 100, 1000, 1000);
    EXPECT_EQ(p, (PlanePoint{800 - 100, 408 - 50}));
}

TEST(ZoomScrollOffset, KeepsTheCentrePixelWithoutAPoint)
{
    // 8 -> 4 from offset (1000, 600) with a 201 x 101 client: the centre
    // (1100, 650) lies in result pixel (137, 81).
    const PlanePoint kept = ZoomScrollOffset(8, 4, {-1, -1}, {1000, 600}, 201, 101, 1000, 1000);
    EXPECT_EQ(kept, (PlanePoint{4 * 137 - 100, 4 * 81 - 50}));
    // Either coordinate below 1 counts as no point at all.
    EXPECT_EQ(ZoomScrollOffset(8, 4, {0, 300}, {1000, 600}, 201, 101, 1000, 1000), kept);
    EXPECT_EQ(ZoomScrollOffset(8, 4, {300, 0}, {1000, 600}, 201, 101, 1000, 1000), kept);
}

TEST(ZoomScrollOffset, ClampsToTheExtentThatIncludesTheClosingGridLine)
{
    // 100 x 50 at zoom 8 spans 800 x 400 plus the closing line: the far
    // target stops where that line meets the window's right/bottom edge.
    EXPECT_EQ(ZoomScrollOffset(4, 8, {399, 199}, {0, 0}, 200, 100, 100, 50),
              (PlanePoint{801 - 200, 401 - 100}));
    // Before the start: 0.
    EXPECT_EQ(ZoomScrollOffset(4, 8, {5, 5}, {0, 0}, 200, 100, 100, 50), (PlanePoint{0, 0}));
    // An image smaller than the window stays at the top left.
    EXPECT_EQ(ZoomScrollOffset(1, 2, {40, 30}, {0, 0}, 640, 480, 50, 40), (PlanePoint{0, 0}));
}

TEST(ScrollExtent, IsTheZoomedSizePlusOneAndClampsOffsets)
{
    EXPECT_EQ(ScrollExtent(8, 100), 801);
    EXPECT_EQ(ScrollExtent(32, 0), 1);
    EXPECT_EQ(ClampScroll(1000, 801, 200), 601);
    EXPECT_EQ(ClampScroll(-3, 801, 200), 0);
    EXPECT_EQ(ClampScroll(5, 101, 200), 0);
    // Zoomed results pass 32 bits without wrapping.
    EXPECT_EQ(ScrollExtent(32, std::int64_t{1} << 27), (std::int64_t{1} << 32) + 1);
}

// --- The zoomed copy ------------------------------------------------------

std::string Dump(const std::vector<std::uint8_t>& bytes, std::int64_t w, std::int64_t h)
{
    std::ostringstream s;
    for (std::int64_t y = 0; y < h; ++y) {
        for (std::int64_t x = 0; x < w; ++x) {
            s << static_cast<int>(bytes[static_cast<std::size_t>(y * w + x)]) << ' ';
        }
        s << '\n';
    }
    return s.str();
}

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
                                 << ' ' << w << 'x' << h << "\nexpected:\n"
                                 << Dump(want, w, h) << "actual:\n"
                                 << Dump(got, w, h);
        }
    }
}

// --- Grid -----------------------------------------------------------------

std::vector<GridLine> Lines(int zoom, int scale, std::int64_t from, std::int64_t to)
{
    std::vector<GridLine> lines;
    GridLines(zoom, scale, from, to, lines);
    return lines;
}

TEST(GridLines, BelowZoom12OnlySourceEdgesDottedAndOnlyFrom12Units)
{
    EXPECT_EQ(Lines(2, 6, 0, 40),
              (std::vector<GridLine>{{0, false}, {12, false}, {24, false}, {36, false}}));
    // The first line not left of the start, none at the end itself.
    EXPECT_EQ(Lines(2, 6, 13, 36), (std::vector<GridLine>{{24, false}}));
    // A cell of 10 units: no grid at all.
    EXPECT_TRUE(Lines(2, 5, 0, 500).empty());
    EXPECT_TRUE(Lines(1, 1, 0, 500).empty());
    EXPECT_EQ(Lines(8, 4, 0, 70), (std::vector<GridLine>{{0, false}, {32, false}, {64, false}}));
}

TEST(GridLines, FromZoom12EveryResultPixelSolidOnSourceEdges)
{
    const std::vector<GridLine> lines = Lines(16, 4, 20, 150);
    EXPECT_EQ(lines, (std::vector<GridLine>{{32, false},
                                            {48, false},
                                            {64, true},
                                            {80, false},
                                            {96, false},
                                            {112, false},
                                            {128, true},
                                            {144, false}}));
    for (const GridLine& line : Lines(12, 1, 0, 100)) {
        EXPECT_TRUE(line.solid) << line.pos;
    }
}

TEST(GridLines, DotsStayAnchoredToThePlane)
{
    std::string pattern;
    for (std::int64_t p = -6; p < 12; ++p) {
        pattern += DottedPixelOn(p) ? '#' : '.';
    }
    EXPECT_EQ(pattern, "###...###...###...");
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

TEST(DevicePixel, MapsLogicalPositionsToTheDevicePixelUnderThem)
{
    EXPECT_EQ(DevicePixel(10.0, 1.0), 10);
    EXPECT_EQ(DevicePixel(10.0, 1.5), 15);
    // Positions Qt derived from whole device pixels land back on them.
    for (int device = -30; device < 300; ++device) {
        EXPECT_EQ(DevicePixel(device / 1.5, 1.5), device);
        EXPECT_EQ(DevicePixel(device / 1.25, 1.25), device);
    }
}

} // namespace
} // namespace gridmint
