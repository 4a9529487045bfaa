// The document in cell mode and with the change map: the engine result it
// shows and the auto brush restores, and what stays as it was.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"
#include "engine/ChangeMap.h"

#include <gtest/gtest.h>
#include <vector>

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

TEST(CellMode, TheStatusLineReadsAsForTheWholeImage)
{
    // Near-black 1 is similar to black 0 at threshold 20, red 2 to neither:
    // the similar-colour counts need the job's colour table.
    ScaleDocument doc;
    ScratchDir dir;
    writeImage(dir / "grey.png", {"0012", "1102", "2210"},
               {kOpaque, kOpaque | 0x0A0A0Au, kOpaque | 0xFF0000u});
    ASSERT_TRUE(doc.Load(dir / "grey.png")) << doc.lastError();
    const auto status = [&doc] {
        std::vector<std::int32_t> all;
        for (std::int32_t y = 0; y < 3; ++y) {
            for (std::int32_t x = 0; x < 4; ++x) {
                const NeighbourStats s = doc.job()->neighbourStats(x, y);
                for (const NeighbourCounts& c : {s.sameIndex, s.sameColour, s.similarColour})
                    all.insert(all.end(), {c.left, c.top, c.right, c.bottom});
            }
        }
        return all;
    };
    ASSERT_NE(doc.Apply(4, 20, false, -1), nullptr) << doc.lastError();
    const std::vector<std::int32_t> whole = status();
    EXPECT_EQ(doc.job()->neighbourStats(0, 0).similarColour.right, 3);

    doc.SetCellLayout(CellLayout{2, 2, 0, 0, false});
    ASSERT_NE(doc.Apply(4, 20, true, -1), nullptr) << doc.lastError();
    EXPECT_EQ(status(), whole);
}

TEST(CellMode, TheLayoutOfARunTravelsWithItsResult)
{
    ScaleDocument doc;
    doc.history().setBudget(EditHistory::kDefaultBudget);
    ScratchDir dir;
    loadApplied(doc, dir, kSheet, 3, true);
    const Rows whole = picture(*doc.resultBitmap());
    const CellLayout layout{3, 3, 0, 1, true};
    doc.SetCellLayout(layout);

    // A run on another thread, as the desktop program makes large ones.
    auto run = doc.PrepareRun(3, 20, -1);
    ASSERT_NE(run, nullptr);
    run->Execute();
    ASSERT_NE(doc.AdoptRun(*run), nullptr) << doc.lastError();
    EXPECT_EQ(doc.resultCellLayout(), layout);

    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(picture(*doc.resultBitmap()), whole);
    EXPECT_FALSE(doc.resultCellLayout().enabled());
    EXPECT_EQ(doc.cellLayout(), layout); // the next run's setting stays the caller's
    ASSERT_TRUE(doc.RedoStep());
    EXPECT_EQ(doc.resultCellLayout(), layout);
}

TEST(CellMode, TracingAfterwardsKeepsHandEdits)
{
    ScaleDocument doc;
    ScratchDir dir;
    const CellLayout layout{3, 3, 0, 1, false};
    doc.SetCellLayout(layout);
    loadApplied(doc, dir, kSheet, 3, true);
    EXPECT_EQ(doc.changeMap(), nullptr);
    ASSERT_TRUE(doc.PlotDots(0, 0, 1, 1));
    const Rows edited = picture(*doc.resultBitmap());

    auto map = doc.TraceResultChanges();
    ASSERT_NE(map, nullptr);
    const Enlargement cells =
        enlargeCells(*doc.source(), ScaleSettings{3, 20, -1, true}, layout, true, 1);
    EXPECT_EQ(picture(*map), picture(*cells.changes));
    auto wrongSize = std::make_unique<IndexedImage>();
    wrongSize->allocate(2, 2);
    EXPECT_FALSE(doc.AdoptChangeMap(std::move(wrongSize)));
    ASSERT_TRUE(doc.AdoptChangeMap(std::move(map)));
    EXPECT_NE(doc.changeMap(), nullptr);
    EXPECT_EQ(picture(*doc.resultBitmap()), edited);
    EXPECT_TRUE(doc.IsModified());
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
