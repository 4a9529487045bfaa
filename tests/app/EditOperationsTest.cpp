// The mouse tools' edits, pixel by pixel, on plain block enlargements (the
// slope passes off) so that every expected pixel can be worked out by hand.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"

#include <gtest/gtest.h>

namespace gridmint::testing {
namespace {

// Sets every result pixel to `c` so that the tools' writes stand out.
void wipe(ScaleDocument& doc, std::uint8_t c)
{
    IndexedBitmap& r = *doc.resultBitmap();
    for (std::int32_t y = 0; y < r.height(); ++y)
        std::fill_n(r.row(y), r.width(), c);
}

// Source pixels of `rows` whose block is still `wiped`, as '.'.
Rows blocksTouched(const ScaleDocument& doc, std::int32_t f, std::uint8_t wiped)
{
    const IndexedBitmap& r = *doc.resultBitmap();
    Rows out;
    for (std::int32_t y = 0; y < r.height(); y += f) {
        std::string row;
        for (std::int32_t x = 0; x < r.width(); x += f)
            row += r.row(y)[x] == wiped ? '.' : '#';
        out.push_back(row);
    }
    return out;
}

const Rows k7x7 = {"0000000", "0000000", "0000000", "0000000", "0000000", "0000000", "0000000"};

TEST(PaintNearest, DiscOfBlocksClippedAtTheEdges)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, k7x7, 2);

    wipe(doc, 9);
    ASSERT_TRUE(doc.PaintNearest(7, 6, 1)); // source pixel (3, 3)
    EXPECT_EQ(blocksTouched(doc, 2, 9),
              (Rows{".......", ".......", ".......", "...#...", ".......", ".......", "......."}));
    EXPECT_EQ(doc.ReadResultIndex(6, 6), 0);
    EXPECT_EQ(doc.ReadResultIndex(7, 7), 0);
    EXPECT_EQ(doc.ReadResultIndex(8, 7), 9);

    wipe(doc, 9);
    ASSERT_TRUE(doc.PaintNearest(6, 6, 4)); // d^2 < 16: a 7 x 7 square without corners
    EXPECT_EQ(blocksTouched(doc, 2, 9),
              (Rows{".#####.", "#######", "#######", "#######", "#######", "#######", ".#####."}));

    wipe(doc, 9);
    ASSERT_TRUE(doc.PaintNearest(13, 0, 3)); // corner: the 5 x 5 square clipped
    EXPECT_EQ(blocksTouched(doc, 2, 9),
              (Rows{"....###", "....###", "....###", ".......", ".......", ".......", "......."}));

    wipe(doc, 9);
    ASSERT_TRUE(doc.PaintNearest(0, 13, 1000)); // huge brush: all clipped
    EXPECT_EQ(blocksTouched(doc, 2, 9), Rows(7, "#######"));
}

TEST(PaintNearest, PutsBackSourceBlocksAndPaintAutoTheEngineResult)
{
    ScaleDocument doc;
    ScratchDir dir;
    // The engine's documented diagonal: its result differs from plain blocks.
    const Rows rows = {"001", "010", "100"};
    loadApplied(doc, dir, rows, 3, true);
    const Rows engine = picture(doc.job()->outputImage());
    ASSERT_EQ(picture(*doc.resultBitmap()), engine);

    ASSERT_TRUE(doc.PaintNearest(4, 4, 2)); // 3 x 3 blocks: the whole image
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"000000111", "000000111", "000000111", "000111000", "000111000", "000111000",
                    "111000000", "111000000", "111000000"}));

    ASSERT_TRUE(doc.PaintAuto(8, 8, 1)); // block (2, 2) only
    Rows expected = picture(*doc.resultBitmap());
    for (int y = 6; y < 9; ++y)
        expected[static_cast<std::size_t>(y)].replace(6, 3, engine[static_cast<std::size_t>(y)], 6,
                                                      3);
    EXPECT_EQ(picture(*doc.resultBitmap()), expected);

    ASSERT_TRUE(doc.PaintAuto(4, 4, 2));
    EXPECT_EQ(picture(*doc.resultBitmap()), engine);
}

TEST(PaintNearest, OutsideOrNegativeChangesNothing)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"01", "23"}, 2);
    wipe(doc, 9);
    EXPECT_FALSE(doc.PaintNearest(4, 0, 3));
    EXPECT_FALSE(doc.PaintNearest(0, 4, 3));
    EXPECT_FALSE(doc.PaintNearest(-1, 0, 3));
    EXPECT_FALSE(doc.PaintAuto(0, -1, 3));
    EXPECT_FALSE(doc.PaintAuto(1 << 30, 1 << 30, 1 << 30));
    EXPECT_EQ(picture(*doc.resultBitmap()), Rows(4, "9999"));
}

TEST(PlotDots, SinglePixelsInADiscClipped)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"00", "00"}, 3); // 6 x 6
    ASSERT_TRUE(doc.PlotDots(2, 2, 200, 1));
    EXPECT_EQ(doc.ReadResultIndex(2, 2), 200); // beyond the 16 colours: kept as written
    ASSERT_TRUE(doc.PlotDots(0, 5, 7, 2));
    ASSERT_TRUE(doc.PlotDots(5, 0, 5, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"000555", "000555", "00#555", "000000", "770000", "770000"}));
    EXPECT_FALSE(doc.PlotDots(6, 0, 1, 1));
    EXPECT_FALSE(doc.PlotDots(0, -1, 1, 1));
}

TEST(Tools, FactorOneWritesSinglePixels)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"012", "345", "678"}, 1);
    wipe(doc, 9);
    ASSERT_TRUE(doc.PaintNearest(1, 1, 2));
    EXPECT_EQ(picture(*doc.resultBitmap()), (Rows{"012", "345", "678"}));

    wipe(doc, 9);
    doc.SetLineStart(0, 0);
    ASSERT_TRUE(doc.FinishLine(2, 2)); // each line pixel takes its own colour
    EXPECT_EQ(picture(*doc.resultBitmap()), (Rows{"099", "949", "998"}));

    // Corner drag in a single row: runs of length 0 (neighbour above) or n.
    loadApplied(doc, dir, {"0000", "1111", "2222"}, 1);
    doc.SetCornerFirst(0, 0);
    doc.SetCornerAnchor(0, 1);
    ASSERT_TRUE(doc.DragCorner(3, 1));
    EXPECT_EQ(picture(*doc.resultBitmap()), (Rows{"0000", "1111", "2222"}));
    doc.SetCornerFirst(0, 2);
    ASSERT_TRUE(doc.DragCorner(3, 1));
    EXPECT_EQ(picture(*doc.resultBitmap()), (Rows{"0000", "2221", "2222"}));
}

const Rows kBands = {"0000", "1111", "2222"};

TEST(DragCorner, HorizontalSlopeTowardsTheNeighbourRow)
{
    ScaleDocument doc;
    ScratchDir dir;

    // Other colour above (first click above the anchor), dragged right.
    loadApplied(doc, dir, kBands, 2);
    doc.SetCornerFirst(1, 0);
    doc.SetCornerAnchor(1, 2);
    ASSERT_TRUE(doc.DragCorner(7, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"00000000", "00000000", "00011111", "11111111", "22222222", "22222222"}));
    EXPECT_EQ(doc.cornerLast(), (Point{7, 3}));

    // Other colour below, dragged right: the longest run fills the row.
    loadApplied(doc, dir, kBands, 2);
    doc.SetCornerFirst(1, 5);
    doc.SetCornerAnchor(1, 2);
    ASSERT_TRUE(doc.DragCorner(7, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"00000000", "00000000", "22211111", "22222211", "22222222", "22222222"}));

    // Dragged left from the last column: the run starts at the anchor's end.
    loadApplied(doc, dir, kBands, 2);
    doc.SetCornerFirst(6, 0);
    doc.SetCornerAnchor(7, 2);
    ASSERT_TRUE(doc.DragCorner(0, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"00000000", "00000000", "11111000", "11111111", "22222222", "22222222"}));

    // Top row: only the row below can serve, whatever the first click says.
    loadApplied(doc, dir, kBands, 2);
    doc.SetCornerFirst(0, 5);
    doc.SetCornerAnchor(0, 0);
    ASSERT_TRUE(doc.DragCorner(4, 1));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"11000000", "11110000", "11111111", "11111111", "22222222", "22222222"}));
}

TEST(DragCorner, VerticalSlopeAndNoOps)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"012", "012", "012"}, 2);
    doc.SetCornerFirst(0, 0); // left of the anchor
    doc.SetCornerAnchor(2, 0);
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.DragCorner(3, 1)); // still in the anchor's block row
    EXPECT_FALSE(doc.DragCorner(6, 0)); // off the image
    EXPECT_EQ(doc.undoBitmap(), nullptr);
    ASSERT_TRUE(doc.DragCorner(3, 5));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"000122", "000122", "001122", "001122", "001122", "001122"}));

    // A shorter drag leaves what the longer one wrote beyond its area.
    ASSERT_TRUE(doc.DragCorner(3, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"000122", "001122", "001122", "001122", "001122", "001122"}));

    // Undo after the whole drag restores the state before the press.
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(picture(*doc.resultBitmap()), Rows(6, "001122"));
}

TEST(DragCorner, SharedCellRule)
{
    // Horizontal: |dy| < |dx|; the pointer's cell is excluded.
    CellRun run = CornerDragCells({0, 0}, {11, 9}, 4, 8, 8);
    EXPECT_FALSE(run.empty);
    EXPECT_TRUE(run.horizontal);
    EXPECT_EQ(run.fixed, 0);
    EXPECT_EQ(run.first, 0);
    EXPECT_EQ(run.last, 1);

    run = CornerDragCells({13, 5}, {2, 6}, 4, 8, 8); // towards lower cells
    EXPECT_TRUE(run.horizontal);
    EXPECT_EQ(run.fixed, 1);
    EXPECT_EQ(run.first, 1);
    EXPECT_EQ(run.last, 3);

    run = CornerDragCells({1, 2}, {3, 4}, 2, 4, 3); // a tie is vertical
    EXPECT_FALSE(run.empty);
    EXPECT_FALSE(run.horizontal);
    EXPECT_EQ(run.fixed, 0);
    EXPECT_EQ(run.first, 1);
    EXPECT_EQ(run.last, 1);

    EXPECT_TRUE(CornerDragCells({0, 0}, {3, 0}, 4, 8, 8).empty);  // same cell
    EXPECT_TRUE(CornerDragCells({0, 0}, {8, 0}, 4, 8, 1).empty);  // one row high
    EXPECT_TRUE(CornerDragCells({40, 0}, {8, 0}, 4, 8, 8).empty); // stale anchor
    EXPECT_TRUE(CornerDragCells({0, 0}, {32, 0}, 4, 8, 8).empty); // pointer off
    EXPECT_TRUE(CornerDragCells({0, 0}, {8, 0}, 0, 8, 8).empty);
}

// Nine colours so that every neighbour can be told apart.
const Rows kNine = {"012", "345", "678"};

TEST(FinishLine, FallingAndRisingDiagonals)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kNine, 3);
    doc.SetLineStart(0, 0);
    ASSERT_TRUE(doc.FinishLine(8, 8));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"011111222", "301111222", "330111222", "333455555", "333345555", "333334555",
                    "666777855", "666777785", "666777778"}));

    loadApplied(doc, dir, kNine, 3);
    doc.SetLineStart(0, 6);
    ASSERT_TRUE(doc.FinishLine(6, 0));
    EXPECT_EQ(picture(*doc.resultBitmap()),
              (Rows{"000111112", "000111125", "000111255", "333334555", "333345555", "333455555",
                    "336777888", "367777888", "677777888"}));
}

TEST(FinishLine, SinglePixelAndRefusals)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kNine, 3);
    // One pixel is a rising line; in the top-left corner the substitute row
    // above does not exist, and the pixel's own colour stands in.
    doc.SetLineStart(1, 1);
    ASSERT_TRUE(doc.FinishLine(2, 0));
    EXPECT_EQ(picture(*doc.resultBitmap())[0].substr(0, 3), "000");
    EXPECT_EQ(picture(*doc.resultBitmap())[1].substr(0, 3), "001");
    EXPECT_EQ(picture(*doc.resultBitmap())[2].substr(0, 3), "011");

    ScaleDocument wide;
    loadApplied(wide, dir, {"000000", "000000", "000000", "000000", "000000"}, 1);
    wide.SetLineStart(2, 2);
    EXPECT_FALSE(wide.FinishLine(5, 4)); // not 45 degrees
    EXPECT_FALSE(wide.FinishLine(6, 4)); // off the image
}

TEST(Tools, PointsLeftFromALargerImageChangeNothing)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, Rows(8, "01234567"), 2);
    doc.SetCornerFirst(14, 10);
    doc.SetCornerAnchor(15, 15);
    doc.SetLineStart(15, 15);
    EXPECT_EQ(doc.cornerAnchor(), (Point{15, 15}));

    loadApplied(doc, dir, {"01", "23"}, 2); // 4 x 4 result
    const Rows before = picture(*doc.resultBitmap());
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.DragCorner(0, 3));
    EXPECT_FALSE(doc.DragCorner(3, 0));
    EXPECT_FALSE(doc.FinishLine(0, 0));
    EXPECT_FALSE(doc.FinishLine(3, 3));
    EXPECT_EQ(picture(*doc.resultBitmap()), before);
    EXPECT_TRUE(doc.snapshotPending());

    doc.SetCornerAnchor(100, -5); // clamped to the result
    EXPECT_EQ(doc.cornerAnchor(), (Point{3, 0}));
}

} // namespace
} // namespace gridmint::testing
