// The document's undo history: strokes, re-runs and palette choices as
// steps, the memory budget, and the unsaved-changes state.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"

#include <gtest/gtest.h>

namespace gridmint::testing {
namespace {

// Stripes and a diagonal, so that the slope passes have edges to work on.
Rows pattern(int width, int height)
{
    Rows rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x)
            row += "0123456789abcdef"[(x + y) % 7 == 0 ? 9 : (x / 3 + y / 5) % 4];
        rows.push_back(row);
    }
    return rows;
}

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        doc.history().setBudget(EditHistory::kDefaultBudget);
        loadApplied(doc, dir, pattern(16, 12), 4, true);
    }
    // One press-to-release stroke of dots along a line.
    void dots(Point from, Point to, std::uint8_t colour, std::int32_t thickness = 2)
    {
        doc.BeginStroke();
        doc.PlotDotsAlong(from, to, colour, thickness);
        doc.EndStroke();
    }
    Rows now() const { return picture(*doc.resultBitmap()); }

    ScratchDir dir;
    ScaleDocument doc;
};

TEST_F(History, StrokeStepKeepsOnlyTheTilesItChanged)
{
    ScaleDocument big;
    big.history().setBudget(EditHistory::kDefaultBudget);
    loadApplied(big, dir, pattern(64, 64), 16); // 1024 x 1024 result
    big.BeginStroke();
    ASSERT_TRUE(big.PlotDotsAlong({100, 100}, {160, 110}, 15, 10));
    big.EndStroke();
    ASSERT_EQ(big.history().size(), 1u);
    // The stroke spans about 80 x 30 pixels: a handful of 32 x 32 tiles,
    // nowhere near the megabyte of the whole result.
    EXPECT_LT(big.history().bytes(), 16u * 1024u);

    // A stroke that paints what was there already leaves no step.
    const std::uint8_t here = static_cast<std::uint8_t>(big.ReadResultIndex(500, 500));
    big.BeginStroke();
    big.PlotDots(500, 500, here, 1);
    big.EndStroke();
    EXPECT_EQ(big.history().size(), 1u);
}

TEST_F(History, UndoAndRedoRetraceEveryStateExactly)
{
    std::vector<Rows> states{now()};
    dots({1, 1}, {40, 30}, 14);
    states.push_back(now());
    doc.BeginStroke(); // one stroke of several operations
    doc.PaintNearestAlong({0, 0}, {63, 47}, 2);
    doc.PlotDots(10, 40, 13, 1);
    doc.EndStroke();
    states.push_back(now());
    ASSERT_NE(doc.Apply(4, 60, false, -1), nullptr); // a re-run
    states.push_back(now());
    const Colour grey[2] = {0xFF808080, 0xFF404040};
    doc.SetPalette(grey, 2);
    states.push_back(now());
    ASSERT_EQ(doc.history().size(), 4u);

    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(doc.UndoStep());
        EXPECT_EQ(now(), states[i - 1]) << "after undo to state " << i - 1;
    }
    EXPECT_FALSE(doc.UndoStep());
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(doc.RedoStep());
        EXPECT_EQ(now(), states[i]) << "after redo to state " << i;
    }
    EXPECT_FALSE(doc.RedoStep());
}

TEST_F(History, ReRunStepBringsBackJobEditsAndSettings)
{
    dots({5, 5}, {20, 5}, 15);
    const Rows edited = now();
    const ScaleJob* first = doc.job();
    ASSERT_NE(doc.Apply(3, 70, false, 2), nullptr);
    EXPECT_EQ(doc.resultBitmap()->width(), 48);

    ASSERT_TRUE(doc.UndoStep());
    ASSERT_EQ(doc.job(), first); // the same job: nothing ran again
    EXPECT_EQ(doc.job()->factor(), 4);
    EXPECT_EQ(doc.job()->threshold(), 20);
    EXPECT_EQ(doc.job()->transparentIndex(), -1);
    EXPECT_EQ(now(), edited);
    // The auto brush paints back the engine output of that run.
    ASSERT_TRUE(doc.PaintAuto(8, 20, 20));
    EXPECT_EQ(now(), picture(doc.job()->outputImage()));

    // The brush made a new change: the re-run is no longer redoable.
    EXPECT_FALSE(doc.CanRedoStep());
}

TEST_F(History, ReRunStepKeepsTheCellModeEngineResult)
{
    doc.SetCellLayout(CellLayout{8, 6});
    ASSERT_NE(doc.Apply(4, 20, true, -1), nullptr);
    const Rows cells = picture(*doc.engineResult());
    doc.SetCellLayout(CellLayout{});
    ASSERT_NE(doc.Apply(4, 20, true, -1), nullptr);
    ASSERT_NE(picture(*doc.engineResult()), cells); // runs cross the cell borders

    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(picture(*doc.engineResult()), cells);
    dots({0, 0}, {63, 47}, 15, 6);
    ASSERT_TRUE(doc.PaintAuto(8, 20, 40)); // restores the cells' result, not the whole image's
    EXPECT_EQ(now(), cells);
}

TEST_F(History, OneSliderDragIsOneStep)
{
    doc.BeginRunGroup();
    for (double t : {25.0, 30.0, 45.0, 60.0})
        ASSERT_NE(doc.Apply(4, t, false, -1), nullptr);
    doc.EndRunGroup();
    ASSERT_NE(doc.Apply(4, 80, false, -1), nullptr); // outside the drag
    EXPECT_EQ(doc.history().size(), 2u);
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(doc.job()->threshold(), 60);
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(doc.job()->threshold(), 20);
}

TEST_F(History, BudgetDropsTheOldestSteps)
{
    dots({0, 0}, {0, 0}, 15, 1);
    const Rows afterFirst = now();
    const std::size_t one = doc.history().bytes();
    doc.history().setBudget(3 * one);
    dots({60, 40}, {60, 40}, 14, 1);
    dots({30, 20}, {30, 20}, 13, 1);
    dots({63, 0}, {63, 0}, 12, 1);
    EXPECT_EQ(doc.history().size(), 3u);
    EXPECT_LE(doc.history().bytes(), 3 * one);
    while (doc.UndoStep()) {
    }
    EXPECT_EQ(now(), afterFirst); // the first stroke can no longer be undone

    // A new change after undos drops the redo steps.
    EXPECT_TRUE(doc.CanRedoStep());
    dots({10, 10}, {12, 12}, 11);
    EXPECT_FALSE(doc.CanRedoStep());
    EXPECT_EQ(doc.history().size(), 1u);
}

TEST_F(History, ReRunTooLargeForTheBudgetIsAskedAboutFirst)
{
    doc.history().setBudget(8 * 1024);          // holds a stroke, not a whole result
    EXPECT_FALSE(doc.ApplyWouldDiscardEdits()); // nothing to lose yet
    dots({1, 1}, {3, 3}, 15);
    EXPECT_TRUE(doc.ApplyWouldDiscardEdits());
    ASSERT_NE(doc.Apply(4, 50, false, -1), nullptr);
    EXPECT_FALSE(doc.CanUndoStep());
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(History, ModifiedFollowsSavesAndSteps)
{
    EXPECT_FALSE(doc.IsModified()); // freshly opened and enlarged
    dots({1, 1}, {5, 1}, 15);
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(doc.Save(dir / "saved.png"));
    EXPECT_FALSE(doc.IsModified());
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(doc.RedoStep());
    EXPECT_FALSE(doc.IsModified()); // back at the saved state

    // Without a history a change is still known to be unsaved.
    ScaleDocument plain;
    loadApplied(plain, dir, pattern(4, 4), 2);
    EXPECT_FALSE(plain.IsModified());
    ASSERT_TRUE(plain.PlotDots(0, 0, 15, 1));
    EXPECT_TRUE(plain.IsModified());
    EXPECT_FALSE(plain.CanUndoStep());
}

TEST_F(History, PaletteStepRestoresTheWholePalette)
{
    const std::vector<Colour> before = doc.source()->palette->colours;
    // Longer than the image's own: the palette grows, and undo shrinks it.
    const std::vector<Colour> reds(40, 0xFFFF0000);
    doc.SetPalette(reds.data(), 40);
    EXPECT_EQ(doc.source()->palette->count(), 40u);
    EXPECT_EQ(doc.resultBitmap()->colourTable()[0], 0xFFFF0000u);
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(doc.source()->palette->colours, before);
    EXPECT_EQ(doc.resultBitmap()->colourTable()[0], before[0] | kOpaque);
    doc.SetPalette(before.data(), static_cast<std::int32_t>(before.size()));
    EXPECT_TRUE(doc.CanRedoStep()); // the same colours again: no step
}

TEST_F(History, DetachedRunMatchesApplyAndIsOneStep)
{
    ScaleDocument reference;
    loadApplied(reference, dir, pattern(16, 12), 4, true);
    const Rows expected = picture(*reference.Apply(4, 55, false, 0));
    const IndexedBitmap* before = doc.resultBitmap();
    const Rows shown = now();

    // While the run is out the document keeps its job and result.
    auto run = doc.PrepareRun(4, 55, 0);
    ASSERT_NE(run, nullptr);
    run->Execute();
    EXPECT_EQ(doc.resultBitmap(), before);
    EXPECT_EQ(now(), shown);
    const IndexedBitmap* adopted = doc.AdoptRun(*run);
    ASSERT_NE(adopted, nullptr);
    EXPECT_EQ(picture(*adopted), expected);
    EXPECT_EQ(doc.job()->threshold(), 55.0);
    EXPECT_EQ(doc.history().size(), 1u);
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(now(), shown);

    // In cell mode, tracing changes, the run brings the cells' result and
    // the change map along, as Apply does.
    for (ScaleDocument* d : {&reference, &doc}) {
        d->SetCellLayout(CellLayout{8, 6, 0, 0, false});
        d->SetTraceChanges(true);
    }
    const Rows cells = picture(*reference.Apply(4, 30, false, 0));
    auto cellRun = doc.PrepareRun(4, 30, 0);
    cellRun->Execute();
    ASSERT_NE(doc.AdoptRun(*cellRun), nullptr);
    EXPECT_EQ(now(), cells);
    EXPECT_EQ(picture(*doc.engineResult()), picture(*reference.engineResult()));
    ASSERT_NE(doc.changeMap(), nullptr);
    EXPECT_EQ(picture(*doc.changeMap()), picture(*reference.changeMap()));
    doc.SetCellLayout(CellLayout{});
    doc.SetTraceChanges(false);

    // A run too large to make leaves everything as it was; a run prepared
    // for the image before the last Load is refused (it must not execute:
    // its source is gone).
    auto huge = doc.PrepareRun(32, 20, 0);
    ScaleDocument tooBig;
    loadApplied(tooBig, dir, pattern(2048, 1100), 1);
    auto refused = tooBig.PrepareRun(32, 20, 0);
    refused->Execute();
    EXPECT_EQ(tooBig.AdoptRun(*refused), nullptr);
    EXPECT_EQ(tooBig.lastError(), "too large to enlarge");
    EXPECT_EQ(tooBig.job()->factor(), 1);
    huge->Execute();
    ASSERT_NE(doc.AdoptRun(*huge), nullptr); // 512 x 384: fits
    auto stale = doc.PrepareRun(2, 20, 0);
    loadApplied(doc, dir, pattern(8, 8), 2);
    EXPECT_EQ(doc.AdoptRun(*stale), nullptr);
    EXPECT_EQ(doc.resultBitmap()->width(), 16);
}

TEST_F(History, RunBorrowsTheJobThatNoStepWouldKeep)
{
    // A budget for strokes but not for a whole result: the run borrows the
    // document's job, re-runs it and refills the raster on screen, so that
    // no second copy of either is ever made.
    ScaleDocument big;
    big.history().setBudget(64 * 1024);
    loadApplied(big, dir, pattern(136, 128), 32, true); // 4352 x 4096: two bands
    ScaleDocument reference;
    loadApplied(reference, dir, pattern(136, 128), 32, true);
    const ScaleJob* job = big.job();
    IndexedBitmap* raster = big.resultBitmap();
    big.BeginStroke();
    ASSERT_TRUE(big.PlotDots(40, 40, 15, 3));
    big.EndStroke();
    ASSERT_TRUE(big.CanUndoStep());

    auto run = big.PrepareRun(32, 55, -1);
    ASSERT_TRUE(run->borrowsJob());
    EXPECT_EQ(big.job(), nullptr);
    EXPECT_EQ(big.resultBitmap(), raster); // still on screen meanwhile
    run->Execute();
    int pauses = 0;
    EXPECT_EQ(big.AdoptRun(*run, [&] { ++pauses; }), raster);
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(big.job(), job);
    EXPECT_EQ(big.job()->threshold(), 55.0);
    EXPECT_EQ(picture(*raster), picture(*reference.Apply(32, 55, false, -1)));
    EXPECT_FALSE(big.HasHandEdits());
    EXPECT_FALSE(big.CanUndoStep()); // the state before could not be kept

    // A run that fails gives the job back as it was.
    big.SetCellLayout(CellLayout{5000, 8, 0, 0, false});
    auto refused = big.PrepareRun(32, 20, -1);
    refused->Execute();
    EXPECT_EQ(big.AdoptRun(*refused), nullptr);
    EXPECT_EQ(big.job(), job);
    EXPECT_EQ(big.job()->threshold(), 55.0);
    EXPECT_EQ(big.resultBitmap(), raster);
    big.SetCellLayout(CellLayout{});

    // A superseded run hands the job on; a run of another size makes a
    // raster of its own and frees the borrowed job.
    auto first = big.PrepareRun(32, 30, 0);
    first->Execute();
    auto second = big.PrepareRun(*first, 2, 30, 0);
    EXPECT_FALSE(first->borrowsJob());
    first.reset();
    second->Execute();
    const IndexedBitmap* made = big.AdoptRun(*second);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(picture(*made), picture(*reference.Apply(2, 30, false, 0)));
    EXPECT_EQ(picture(*big.engineResult()), picture(*reference.engineResult()));
}

TEST_F(History, FailedFactorChangeMakesTheBorrowedJobAgain)
{
    // A change of factor frees the borrowed job before making its own; when
    // the new factor is refused the job comes back made afresh, with the
    // settings and engine result of the raster on screen, edits untouched.
    ScaleDocument big;
    big.history().setBudget(64 * 1024);
    loadApplied(big, dir, pattern(1025, 1024), 2, true); // too large for x32
    const Rows engine = picture(*big.engineResult());
    IndexedBitmap* raster = big.resultBitmap();
    ASSERT_TRUE(big.PlotDots(7, 7, 15, 3));
    const Rows edited = picture(*raster);

    auto run = big.PrepareRun(32, 20, -1);
    ASSERT_TRUE(run->borrowsJob());
    run->Execute();
    EXPECT_EQ(big.AdoptRun(*run), nullptr);
    EXPECT_EQ(big.lastError(), "too large to enlarge");
    ASSERT_NE(big.job(), nullptr);
    EXPECT_EQ(big.job()->factor(), 2);
    EXPECT_EQ(big.job()->threshold(), 20.0);
    EXPECT_EQ(big.resultBitmap(), raster);
    EXPECT_EQ(picture(*raster), edited);
    EXPECT_EQ(picture(*big.engineResult()), engine);
    EXPECT_TRUE(big.HasHandEdits());
    EXPECT_TRUE(big.Save(dir / "kept.png")) << big.lastError();
}

TEST_F(History, RunGroupLendsTheJobAfterItsFirstStep)
{
    ScaleDocument reference;
    loadApplied(reference, dir, pattern(16, 12), 4, true);
    const Rows start = now();
    doc.BeginRunGroup();
    for (const double threshold : {30.0, 40.0, 50.0}) {
        auto run = doc.PrepareRun(4, threshold, 0);
        // The group's one step holds the state before the drag; the states
        // between are nobody's to keep.
        EXPECT_EQ(run->borrowsJob(), threshold != 30.0);
        run->Execute();
        ASSERT_NE(doc.AdoptRun(*run), nullptr);
        EXPECT_EQ(now(), picture(*reference.Apply(4, threshold, false, 0)));
    }
    doc.EndRunGroup();
    EXPECT_EQ(doc.history().size(), 1u);
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(now(), start);
    ASSERT_TRUE(doc.RedoStep());
    EXPECT_EQ(doc.job()->threshold(), 50.0);
}

} // namespace
} // namespace gridmint::testing
