// Cell mode from the settings dialog, the change-map overlay and the key
// that shows the plain blocks, through the window.
#include "FrameTestSupport.h"
#include "engine/ChangeMap.h"
#include "ui/CGridmintView.h"
#include "ui/CTopPanelView.h"

#include <QAction>
#include <QSlider>
#include <QTest>

namespace gridmint::test {

namespace {

constexpr int kFactor = 4;

// A 24 x 16 pattern at factor 4, zoom 1.
struct Sheet {
    FrameHarness h{kFactor};
    std::filesystem::path source;

    Sheet() { source = h.openPattern(QStringLiteral("sheet.png"), 24, 16); }
    ScaleDocument& doc() { return h.frame->document(); }
    std::vector<std::uint8_t> shown() { return pixelsOf(*doc().resultBitmap()); }
    std::vector<std::uint8_t> engine()
    {
        const IndexedImage& e = *doc().engineResult();
        std::vector<std::uint8_t> out;
        for (int y = 0; y < e.height(); ++y) {
            out.insert(out.end(), e.row(y), e.row(y) + e.width());
        }
        return out;
    }
    // The plain block colour of a result pixel.
    std::uint8_t plain(int x, int y)
    {
        return doc().source()->image->row(y / kFactor)[x / kFactor];
    }
    // Turns cell mode on (or off) through the settings dialog.
    void cells(const CellLayout& layout)
    {
        h.dialogs->onSettings = [layout](AppSettings& s) {
            s.setCellLayout(layout);
            return true;
        };
        h.frame->settingsAction()->trigger();
    }
    QRgb onScreen(int x, int y)
    {
        return h.frame->view()->viewport()->grab().toImage().pixel(x, y);
    }
};

} // namespace

class FrameCellTest : public QObject {
    Q_OBJECT

private slots:
    void cellModeFromSettingsIsOneUndoStep()
    {
        Sheet s;
        const auto whole = s.shown();
        const int runs = s.h.frame->engineRuns();
        const CellLayout layout{8, 8, 0, 0, true};
        s.cells(layout);
        QCOMPARE(s.h.frame->engineRuns(), runs + 1);
        QCOMPARE(s.h.settings.cellLayout(), layout);
        QCOMPARE(s.doc().resultCellLayout(), layout);
        QCOMPARE(s.h.frame->view()->cellGrid(), layout);

        // The same as a document of its own in cell mode.
        ScaleDocument alone;
        QVERIFY(alone.Load(s.source));
        alone.SetCellLayout(layout);
        QVERIFY(alone.Apply(kFactor, s.h.settings.NearestColorThreshold, false, 0));
        const auto cellResult = pixelsOf(*alone.resultBitmap());
        QCOMPARE(s.shown(), cellResult);
        QVERIFY(cellResult != whole);

        // A hand edit, then the auto brush over it restores the cells' result.
        QVERIFY(s.doc().PaintNearest(33, 5, 3));
        QVERIFY(s.shown() != cellResult);
        QVERIFY(s.doc().PaintAuto(33, 5, 3));
        QCOMPARE(s.shown(), cellResult);

        // Undo: the whole-image result and the settings that made it; redo.
        while (s.doc().resultCellLayout().enabled() && s.h.frame->undoAction()->isEnabled()) {
            s.h.frame->undoAction()->trigger();
        }
        QCOMPARE(s.shown(), whole);
        QVERIFY(!s.h.settings.cellLayout().enabled());
        QVERIFY(!s.doc().cellLayout().enabled());
        QVERIFY(!s.h.frame->view()->cellGrid().enabled());
        s.h.frame->redoAction()->trigger();
        QCOMPARE(s.h.settings.cellLayout(), layout);
        QCOMPARE(s.engine(), cellResult);

        // Settings that do not touch cell mode or the factor run nothing.
        const int before = s.h.frame->engineRuns();
        s.cells(layout);
        QCOMPARE(s.h.frame->engineRuns(), before);
    }

    // A cell layout the engine refuses leaves the previous result on screen
    // and says so, once.
    void aFailedCellRunSaysSo()
    {
        Sheet s;
        const auto whole = s.shown();
        s.cells(CellLayout{8, 8, 0, CellLayout::kMaxGap + 1, false});
        QCOMPARE(s.h.dialogs->messages,
                 QStringList{QStringLiteral("エラー: 画像を拡大できませんでした")});
        QCOMPARE(s.shown(), whole);
        QVERIFY(!s.doc().resultCellLayout().enabled());
    }

    void overlayShowsTheMapAndKeepsHandEdits()
    {
        Sheet s;
        QVERIFY(!s.h.frame->changesAction()->isChecked());
        QVERIFY(s.doc().PlotDots(2, 2, 7, 1));
        const auto edited = s.shown();
        const int runs = s.h.frame->engineRuns();

        s.h.frame->changesAction()->trigger();
        QVERIFY(s.h.frame->changesAction()->isChecked());
        QVERIFY(s.h.frame->view()->changesShown());
        const IndexedImage* map = s.doc().changeMap();
        QVERIFY(map != nullptr);
        QCOMPARE(s.h.frame->view()->changeMap(), map);
        QCOMPARE(s.h.frame->engineRuns(), runs); // no re-run
        QCOMPARE(s.shown(), edited);

        // Marked exactly where the engine's output differs from plain blocks.
        const IndexedImage& out = *s.doc().engineResult();
        int marked = 0;
        for (int y = 0; y < out.height(); ++y) {
            for (int x = 0; x < out.width(); ++x) {
                const bool changed = out.row(y)[x] != s.plain(x, y);
                QCOMPARE(map->row(y)[x] != kUnchanged, changed);
                marked += changed;
            }
        }
        QVERIFY(marked > 0);

        // Tinted on screen.
        QPoint tinted(-1, -1);
        for (int y = 0; y < out.height() && tinted.x() < 0; ++y) {
            for (int x = 0; x < out.width() && tinted.x() < 0; ++x) {
                if (map->row(y)[x] != kUnchanged) {
                    tinted = {x, y};
                }
            }
        }
        const IndexedBitmap& r = *s.doc().resultBitmap();
        const QRgb pixel = r.colourTable()[r.row(tinted.y())[tinted.x()]] | 0xFF000000u;
        QVERIFY(s.onScreen(tinted.x(), tinted.y()) != pixel);

        // Later runs bring their own map; off hides it.
        s.h.frame->toolPanel()->thresholdSlider()->setValue(35);
        QTest::qWait(1);
        QVERIFY(s.h.frame->engineRuns() > runs);
        QVERIFY(s.doc().changeMap() != nullptr);
        QCOMPARE(s.h.frame->view()->changeMap(), s.doc().changeMap());
        s.h.frame->changesAction()->trigger();
        QVERIFY(!s.h.frame->view()->changesShown());
        QVERIFY(!s.h.frame->changesAction()->isChecked());
    }

    void holdingSpaceShowsPlainBlocks()
    {
        Sheet s;
        const auto before = s.shown();
        // A result pixel the engine changed, at zoom 1 under the same
        // viewport pixel.
        int cx = -1;
        int cy = -1;
        for (int y = 0; y < 64 && cx < 0; ++y) {
            for (int x = 0; x < 96 && cx < 0; ++x) {
                if (s.doc().resultBitmap()->row(y)[x] != s.plain(x, y)) {
                    cx = x;
                    cy = y;
                }
            }
        }
        QVERIFY(cx >= 0);
        const auto colours = s.doc().resultBitmap()->colourTable();
        const QRgb result = s.onScreen(cx, cy);
        QCOMPARE(result, QRgb(colours[s.doc().resultBitmap()->row(cy)[cx]] | 0xFF000000u));

        QWidget* view = s.h.frame->view();
        view->setFocus();
        QTest::keyPress(view, Qt::Key_Space);
        QVERIFY(s.h.frame->plainShown());
        QCOMPARE(s.onScreen(cx, cy), QRgb(colours[s.plain(cx, cy)] | 0xFF000000u));
        QTest::keyRelease(view, Qt::Key_Space);
        QVERIFY(!s.h.frame->plainShown());
        QCOMPARE(s.onScreen(cx, cy), result);

        // Never a change to the document.
        QCOMPARE(s.shown(), before);
        QVERIFY(!s.doc().IsModified());
        QVERIFY(!s.h.frame->undoAction()->isEnabled());
    }
};

std::unique_ptr<QObject> makeFrameCellTest()
{
    return std::make_unique<FrameCellTest>();
}

} // namespace gridmint::test

#include "FrameCellTest.moc"
