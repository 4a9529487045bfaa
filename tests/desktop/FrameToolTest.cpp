// The mouse tools driven with real mouse input, compared with a second
// document that receives the edit calls the frame should make at the
// expected result pixels; palette switching; the re-apply rules.
#include "FrameTestSupport.h"
#include "app/ToolMode.h"
#include "desktop/AppSettingsStore.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

namespace gridmint::test {

namespace {

constexpr int kZoom = 8;
constexpr int kResult = 128; // a 32 x 32 source at factor 4

// A zoomed-image position inside result pixel (x, y), off the cell corner.
QPoint zoomed(int x, int y)
{
    return {x * kZoom + 3, y * kZoom + 5};
}

// The frame's document beside a reference document with the same image.
struct ToolSetup {
    FrameHarness h{4};
    ScaleDocument reference;

    ToolSetup()
    {
        const auto path = h.openPattern(QStringLiteral("tools.png"), 32, 32);
        h.selectZoomChoice(3);
        reference.Load(path);
        reference.Apply(4, h.frame->toolPanel()->threshold(), false, h.settings.TransColorIndex);
    }
    CGridmintView* view() { return h.frame->view(); }
    std::vector<std::uint8_t> shown() { return pixelsOf(*h.frame->document().resultBitmap()); }
    std::vector<std::uint8_t> expected() { return pixelsOf(*reference.resultBitmap()); }

    // Mouse input on the viewport, given in zoomed-image coordinates.
    QPoint local(QPoint z) { return z - view()->scrollOffset(); }
    void press(QPoint z) { QTest::mousePress(view()->viewport(), Qt::LeftButton, {}, local(z)); }
    void move(QPoint z) { QTest::mouseMove(view()->viewport(), local(z)); }
    void release(QPoint z)
    {
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, {}, local(z));
    }
};

} // namespace

class FrameToolTest : public QObject {
    Q_OBJECT
private slots:
    void brushStrokes_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<int>("thickness");
        QTest::addColumn<int>("edge");
        QTest::addColumn<bool>("scrolled");
        for (int tool : {int(ToolNearest), int(ToolAuto), int(ToolDot)}) {
            for (int r : {1, 3}) {
                for (int edge = 0; edge < 4; ++edge) {
                    for (bool scrolled : {false, true}) {
                        QTest::addRow("tool%d r%d edge%d%s", tool, r, edge, scrolled ? " sc" : "")
                            << tool << r << edge << scrolled;
                    }
                }
            }
        }
    }

    // A stroke from an image edge out of the image: press, two drags, release.
    void brushStrokes()
    {
        QFETCH(int, tool);
        QFETCH(int, thickness);
        QFETCH(int, edge);
        QFETCH(bool, scrolled);
        ToolSetup s;
        s.h.selectTool(tool);
        s.h.frame->toolPanel()->thicknessCombo()->setCurrentIndex(thickness - 1);
        s.h.frame->palettePane()->setChosenColour(14);
        if (tool != ToolDot) {
            // Dots everywhere first, so that the brush has something to put back.
            for (ScaleDocument* d : {&s.h.frame->document(), &s.reference}) {
                d->setSnapshotPending(true);
                for (int i = 0; i < kResult * kResult; i += 2) {
                    d->PlotDots(i % kResult, i / kResult, 14, 1);
                }
            }
        }
        if (scrolled) {
            auto* hb = s.view()->horizontalScrollBar();
            auto* vb = s.view()->verticalScrollBar();
            hb->setValue(edge == 1 ? hb->maximum() : hb->maximum() / 3);
            vb->setValue(edge == 3 ? vb->maximum() : vb->maximum() / 3);
            QVERIFY(s.view()->scrollOffset().x() > 0 && s.view()->scrollOffset().y() > 0);
        }
        // Result pixels of press, drag and leaving drag per edge; beyond the
        // edge the zoomed positions -20 and 1044 divide to -2 and 130.
        const int last = kResult - 1;
        const QPoint pts[4][3] = {{{0, 60}, {2, 70}, {-2, 80}},
                                  {{last, 60}, {last - 2, 70}, {130, 80}},
                                  {{60, 0}, {70, 2}, {80, -2}},
                                  {{60, last}, {70, last - 2}, {80, 130}}};
        const QPoint* p = pts[edge];
        auto zoomedBeyond = [](QPoint r) {
            return QPoint(r.x() < 0          ? -20
                          : r.x() >= kResult ? 1044
                                             : zoomed(r.x(), 0).x(),
                          r.y() < 0          ? -20
                          : r.y() >= kResult ? 1044
                                             : zoomed(0, r.y()).y());
        };
        const auto before = s.shown();
        s.press(zoomed(p[0].x(), p[0].y()));
        s.move(zoomed(p[1].x(), p[1].y()));
        s.move(zoomedBeyond(p[2]));
        s.release(zoomedBeyond(p[2]));

        // Each event paints the whole way from the one before; the release
        // plots dots once more.
        ScaleDocument& ref = s.reference;
        const int events = tool == ToolDot ? 4 : 3;
        const int starts[4] = {0, 0, 1, 2};
        const int ends[4] = {0, 1, 2, 2};
        for (int i = 0; i < events; ++i) {
            const Point from{p[starts[i]].x(), p[starts[i]].y()};
            const Point to{p[ends[i]].x(), p[ends[i]].y()};
            if (tool == ToolNearest) {
                ref.PaintNearestAlong(from, to, thickness);
            } else if (tool == ToolAuto) {
                ref.PaintAutoAlong(from, to, thickness);
            } else {
                ref.PlotDotsAlong(from, to, 14, thickness);
            }
        }
        QCOMPARE(s.shown(), s.expected());
        QVERIFY(s.shown() != before);
        s.h.frame->undoAction()->trigger(); // one undo takes back the stroke
        QCOMPARE(s.shown(), before);
    }

    void lineAndCornerTools()
    {
        ToolSetup s;
        const auto before = s.shown();
        ScaleDocument& ref = s.reference;
        // A line pressed above and left of the image starts at its corner.
        s.h.selectTool(ToolDiagonalLine);
        s.press({-20, -20});
        s.move(zoomed(20, 20));
        QCOMPARE(s.view()->lineKind(), 2);
        s.release(zoomed(20, 20));
        QCOMPARE(s.view()->lineKind(), 0);
        ref.setSnapshotPending(true);
        ref.SetLineStart(0, 0);
        ref.FinishLine(20, 20);
        QCOMPARE(s.shown(), s.expected());

        // Corner: a marker, then an anchor and a drag that cuts the corner.
        s.h.selectTool(ToolCorner);
        s.press(zoomed(40, 40));
        s.release(zoomed(40, 40));
        QVERIFY(s.view()->hoverShown()); // the marker stays after the first release
        s.press(zoomed(44, 40));
        s.move(zoomed(60, 42));
        QCOMPARE(s.view()->lineKind(), 1);
        s.release(zoomed(60, 42));
        QVERIFY(s.view()->lineKind() == 0 && !s.view()->hoverShown());
        ref.SetCornerFirst(40, 40);
        ref.setSnapshotPending(true);
        ref.SetCornerAnchor(44, 40);
        ref.DragCorner(60, 42);
        QCOMPARE(s.shown(), s.expected());
        QVERIFY(s.shown() != before);
        // A third press starts over.
        s.press(zoomed(8, 9));
        QCOMPARE(s.h.frame->document().cornerFirst(), (Point{8, 9}));
        s.release(zoomed(8, 9));

        // A tool change in mid-sequence resets the count.
        s.h.selectTool(ToolDot);
        s.h.selectTool(ToolCorner);
        QCOMPARE(s.h.frame->strokes().cornerClicks(), 0);
        s.press(zoomed(20, 21));
        QCOMPARE(s.h.frame->document().cornerFirst(), (Point{20, 21}));
    }

    void eyedropperAndNoImage()
    {
        ToolSetup s;
        s.h.selectTool(ToolDot);
        auto* pane = s.h.frame->palettePane();
        const int index = s.h.frame->document().ReadResultIndex(9, 17);
        QVERIFY(index != pane->chosenColour());
        emit s.view()->UWM_VIEW_RBUTTONDOWN(zoomed(9, 17).x(), zoomed(9, 17).y());
        QCOMPARE(pane->chosenColour(), index);
        emit s.view()->UWM_VIEW_RBUTTONDOWN(kResult * kZoom + 40, 10); // outside
        QCOMPARE(pane->chosenColour(), index);

        FrameHarness empty(4);
        empty.selectTool(ToolDot);
        auto* view = empty.frame->view();
        emit view->UWM_VIEW_LBUTTONDOWN(10, 10);
        emit view->UWM_VIEW_DRAG(30, 30);
        emit view->UWM_VIEW_LBUTTONUP(30, 30);
        emit view->UWM_VIEW_RBUTTONDOWN(10, 10);
        empty.frame->OnUndo();
        QCOMPARE(empty.frame->document().resultBitmap(), nullptr);
        QCOMPARE(empty.frame->palettePane()->chosenColour(), 0);
    }

    void paletteSelectionRecoloursWithoutTouchingIndices()
    {
        ToolSetup s;
        writeAct(s.h.file(QStringLiteral("p.act")));
        s.h.frame->Open(s.h.file(QStringLiteral("p.act")));
        const auto indices = s.shown();
        const int runs = s.h.frame->engineRuns();
        // Block 0 is its bar plus 229 pixels high, so y 300 lies in block 1.
        QTest::mouseClick(s.h.frame->palettePane()->viewport(), Qt::LeftButton, {}, {60, 300});
        const PaletteEntry& added = s.h.frame->palettePane()->entries()[1];
        const auto table = s.h.frame->document().resultBitmap()->colourTable();
        for (std::size_t i = 0; i < 16; ++i) {
            QCOMPARE(table[i] | kOpaque, added.colours[i] | kOpaque);
        }
        QCOMPARE(s.shown(), indices);
        QCOMPARE(s.h.frame->engineRuns(), runs);
    }

    void dotBeyondTheImagePaletteSurvivesSaving()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("sixteen.png"), 8, 8);
        h.selectTool(ToolDot);
        // Index 200 is a colour only once a longer palette is chosen.
        h.frame->palettePane()->setChosenColour(200);
        QCOMPARE(h.frame->palettePane()->chosenColour(), 0);
        const auto act = h.file(QStringLiteral("long.act"));
        writeAct(act);
        h.frame->Open(act);
        QTest::mouseClick(h.frame->palettePane()->viewport(), Qt::LeftButton, {}, {60, 300});
        QCOMPARE(h.frame->palettePane()->selectedPalette(), 1);
        h.frame->palettePane()->setChosenColour(200);
        emit h.frame->view()->UWM_VIEW_LBUTTONDOWN(3, 5);
        emit h.frame->view()->UWM_VIEW_LBUTTONUP(3, 5);
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("dot.png"));
        h.frame->files().OnFileSaveAs();
        const auto back = readPng(h.file(QStringLiteral("dot.png")));
        QCOMPARE(int(back->image->row(5)[3]), 200);
        QCOMPARE(back->image->row(5)[4], h.frame->document().resultBitmap()->row(5)[4]);
    }

    void thresholdReappliesOnlyOnAChange()
    {
        ToolSetup s;
        QSlider* slider = s.h.frame->toolPanel()->thresholdSlider();
        const int runs = s.h.frame->engineRuns();
        emit s.h.frame->toolPanel()->UWM_THRESHOLD_CHANGED(); // same value again
        QCoreApplication::processEvents();
        QCOMPARE(s.h.frame->engineRuns(), runs);

        // The result keeps its size, so the scroll position stays.
        s.view()->horizontalScrollBar()->setValue(200);
        s.view()->verticalScrollBar()->setValue(150);
        slider->setValue(35);
        QCoreApplication::processEvents();
        QCOMPARE(s.h.frame->engineRuns(), runs + 1);
        QCOMPARE(s.view()->scrollOffset(), QPoint(200, 150));

        // Fifty quick moves: the last position wins, in at most two runs.
        for (int i = 0; i < 50; ++i) {
            slider->setValue(40 + (i * 7) % 50);
        }
        slider->setValue(37);
        QCoreApplication::processEvents();
        QVERIFY(s.h.frame->engineRuns() - (runs + 1) <= 2);
        QCOMPARE(s.h.frame->document().job()->threshold(), 37.0);
        s.reference.Apply(4, 37.0, false, s.h.settings.TransColorIndex);
        QCOMPARE(s.shown(), s.expected());

        // The forced re-apply runs without a change and keeps the place.
        s.h.frame->toolPanel()->reapplyButton()->click();
        QCOMPARE(s.view()->scrollOffset(), QPoint(200, 150));

        // The last slider value reaches the settings store by the time the
        // window is gone.
        s.h.frame.reset();
        AppSettings stored;
        LoadSettings(stored);
        QCOMPARE(stored.NearestColorThreshold, 37u);
    }

    void settingsDialogReappliesOnlyOnAChange()
    {
        ToolSetup s;
        const int runs = s.h.frame->engineRuns();
        s.h.dialogs->onSettings = [](AppSettings& st) { // no engine parameter
            st.IsAutoSave = !st.IsAutoSave;
            return true;
        };
        s.h.frame->settingsAction()->trigger();
        QCOMPARE(s.h.frame->engineRuns(), runs);
        s.h.dialogs->onSettings = [](AppSettings& st) {
            st.ImageScale = 2;
            return true;
        };
        s.h.frame->settingsAction()->trigger();
        QCOMPARE(s.h.frame->engineRuns(), runs + 1);
        QCOMPARE(s.view()->resultScale(), 2);
        QCOMPARE(s.view()->displayedBitmap()->width(), 64);
    }
};

std::unique_ptr<QObject> makeFrameToolTest()
{
    return std::make_unique<FrameToolTest>();
}

} // namespace gridmint::test

#include "FrameToolTest.moc"
