// The document in cell mode and with the change map: the engine result it
// shows and the auto brush restores, and what stays as it was.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"
#include "engine/ChangeMap.h"

#include <gtest/gtest.h>

namespace gridmint::testing {
namespace {

// Two 3 x 3 cells side by side with a one-pixel spacing column and a
// partial row below: a diagonal runs across the cell border.
const Rows kSheet = {"0011000", "0110001", "1100011", "1000111"};

TEST(CellMode, ApplyShowsTheCellResultAndTheAutoBrushRestoresIt)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kSheet, 3, true);
    const Rows whole = picture(*doc.resultBitmap());

    const CellLayout layout{3, 3, 0, 1, false};
    doc.SetCellLayout(layout);
    doc.SetTraceChanges(true);
    ASSERT_NE(doc.Apply(3, 20, false, -1), nullptr) << doc.lastError();
    const Enlargement cells =
        enlargeCells(*doc.source(), ScaleSettings{3, 20, -1, true}, layout, true, 1);
    const Rows expected = picture(*cells.image);
    EXPECT_EQ(picture(*doc.resultBitmap()), expected);
    EXPECT_NE(expected, whole); // the border changes what the passes see
    ASSERT_NE(doc.engineResult(), nullptr);
    EXPECT_EQ(picture(*doc.engineResult()), expected);
    ASSERT_NE(doc.changeMap(), nullptr);
    EXPECT_EQ(picture(*doc.changeMap()), picture(*cells.changes));
    ASSERT_NE(doc.job(), nullptr); // the status line still has its statistics
    EXPECT_EQ(doc.job()->neighbourStats(0, 0).sameIndex.right, 2);

    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PaintNearest(10, 10, 9));
    ASSERT_TRUE(doc.PaintAuto(10, 10, 9));
    EXPECT_EQ(picture(*doc.resultBitmap()), expected);

    // Off again: the whole image, and no map unless asked for.
    doc.SetCellLayout(CellLayout{});
    doc.SetTraceChanges(false);
    ASSERT_NE(doc.Apply(3, 20, false, -1), nullptr);
    EXPECT_EQ(picture(*doc.resultBitmap()), whole);
    EXPECT_EQ(picture(*doc.engineResult()), whole);
    EXPECT_EQ(doc.changeMap(), nullptr);
}

TEST(CellMode, RefusedLayoutOrSizeKeepsTheDocument)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kSheet, 2, true);
    const Rows before = picture(*doc.resultBitmap());
    const ScaleJob* job = doc.job();

    doc.SetCellLayout(CellLayout{0, 3, 0, 0, false});
    EXPECT_EQ(doc.Apply(3, 20, true, -1), nullptr);
    EXPECT_FALSE(doc.lastError().empty());
    doc.SetCellLayout(CellLayout{3, 3, -1, 0, false});
    EXPECT_EQ(doc.Apply(3, 20, true, -1), nullptr);
    EXPECT_EQ(doc.job(), job);
    EXPECT_EQ(picture(*doc.resultBitmap()), before);
    EXPECT_EQ(picture(*doc.engineResult()), before);
}

TEST(ChangeMap, WholeImageMapAndNearest)
{
    ScaleDocument doc;
    ScratchDir dir;
    doc.SetTraceChanges(true);
    loadApplied(doc, dir, {"001", "010", "100"}, 3, true);
    ASSERT_NE(doc.changeMap(), nullptr);
    EXPECT_EQ(picture(*doc.changeMap())[0], "000000110"); // the left pass's wedge

    ASSERT_NE(doc.Apply(3, 20, false, -1, false), nullptr);
    ASSERT_NE(doc.changeMap(), nullptr);
    EXPECT_EQ(picture(*doc.changeMap()), Rows(9, "000000000"));
}

} // namespace
} // namespace gridmint::testing
