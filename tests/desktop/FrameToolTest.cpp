// The mouse tools as the frame drives them, compared with a second document
// that receives the edit calls the frame should make at the expected result
// pixels; plus palette switching and the re-apply rules.
#include "FrameTestSupport.h"
#include "app/ToolMode.h"
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
constexpr int kFactor = 4;
constexpr int kSource = 32;
constexpr int kResult = kSource * kFactor; // 128

// The zoomed-image position inside result pixel (x, y), off the cell corner.
QPoint zoomed(int x, int y)
{
    return {x * kZoom + 3, y * kZoom + 5};
}

struct Stroke {
    QPoint press; // zoomed-image coordinates
    QPoint drag1;
    QPoint drag2;  // beyond the image edge
    QPoint pressR; // the same, as the result pixels the frame must use
    QPoint drag1R;
    QPoint drag2R;
};

// Strokes that start on an image edge and leave the image. Truncating
// division makes -20 / 8 = -2.
Stroke edgeStroke(int edge)
{
    const int last = kResult - 1;
    const int beyond = kResult * kZoom + 20; // result pixel 130
    switch (edge) {
    case 0:
        return {zoomed(0, 60), zoomed(2, 70), {-20, 80 * kZoom + 3}, {0, 60}, {2, 70}, {-2, 80}};
    case 1:
        return {zoomed(last, 60), zoomed(last - 2, 70), {beyond, 80 * kZoom + 3},
                {last, 60},       {last - 2, 70},       {130, 80}};
    case 2:
        return {zoomed(60, 0), zoomed(70, 2), {80 * kZoom + 3, -20}, {60, 0}, {70, 2}, {80, -2}};
    default:
        return {zoomed(60, last), zoomed(70, last - 2), {80 * kZoom + 3, beyond},
                {60, last},       {70, last - 2},       {80, 130}};
    }
}

// The frame's document and a reference with the same image and settings.
struct ToolSetup {
    FrameHarness h{kFactor};
    ScaleDocument reference;
    std::filesystem::path path;

    ToolSetup()
    {
        path = h.openPattern(QStringLiteral("tools.png"), kSource, kSource);
        h.selectZoomChoice(3);
        reference.Load(path);
        reference.Apply(kFactor, h.frame->toolPanel()->threshold(), false,
                        h.settings.TransColorIndex);
    }
    ScaleDocument& doc() { return h.frame->document(); }
    CGridmintView* view() { return h.frame->view(); }
    std::vector<std::uint8_t> shown() { return pixelsOf(*doc().resultBitmap()); }
    std::vector<std::uint8_t> expected() { return pixelsOf(*reference.resultBitmap()); }
    void setThickness(int r) { h.frame->toolPanel()->thicknessCombo()->setCurrentIndex(r - 1); }

    // Real mouse input on the viewport; the offset turns zoomed-image
    // coordinates back into viewport positions.
    QPoint local(QPoint z) { return z - view()->scrollOffset(); }
    void press(QPoint z) { QTest::mousePress(view()->viewport(), Qt::LeftButton, {}, local(z)); }
    void move(QPoint z) { QTest::mouseMove(view()->viewport(), local(z)); }
    void release(QPoint z)
    {
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, {}, local(z));
    }
    void scrollTo(int x, int y)
    {
        view()->horizontalScrollBar()->setValue(x);
        view()->verticalScrollBar()->setValue(y);
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
        const char* edges[] = {"left", "right", "top", "bottom"};
        for (int tool : {int(ToolNearest), int(ToolAuto), int(ToolDot)}) {
            for (int r : {1, 3}) {
                for (int edge = 0; edge < 4; ++edge) {
                    for (bool scrolled : {false, true}) {
                        QTest::addRow("tool%d r%d %s%s", tool, r, edges[edge],
                                      scrolled ? " scrolled" : "")
                            << tool << r << edge << scrolled;
                    }
                }
            }
        }
    }

    void brushStrokes()
    {
        QFETCH(int, tool);
        QFETCH(int, thickness);
        QFETCH(int, edge);
        QFETCH(bool, scrolled);
        ToolSetup s;
        s.h.selectTool(tool);
        s.setThickness(thickness);
        QCOMPARE(s.h.frame->toolPanel()->thickness(), thickness);
        s.h.frame->palettePane()->setChosenColour(14);
        if (tool != ToolDot) {
            // Cover the image with dots first so that the brush has
            // something to put back.
            for (ScaleDocument* d : {&s.doc(), &s.reference}) {
                d->setSnapshotPending(true);
                for (int y = 0; y < kResult; y += 2) {
                    for (int x = 0; x < kResult; x += 2) {
                        d->PlotDots(x, y, 14, 1);
                    }
                }
            }
        }
        if (scrolled) {
            auto* h = s.view()->horizontalScrollBar();
            auto* v = s.view()->verticalScrollBar();
            QVERIFY(h->maximum() > 0 && v->maximum() > 0);
            s.scrollTo(edge == 1 ? h->maximum() : h->maximum() / 3,
                       edge == 3 ? v->maximum() : v->maximum() / 3);
            QVERIFY(s.view()->scrollOffset() != QPoint(0, 0));
        }
        const auto before = s.shown();
        QCOMPARE(s.expected(), before);

        const Stroke st = edgeStroke(edge);
        s.press(st.press);
        s.move(st.drag1);
        s.move(st.drag2);
        s.release(st.drag2);

        ScaleDocument& ref = s.reference;
        auto paint = [&](QPoint p) {
            if (tool == ToolNearest) {
                ref.PaintNearest(p.x(), p.y(), thickness);
            } else if (tool == ToolAuto) {
                ref.PaintAuto(p.x(), p.y(), thickness);
            } else {
                ref.PlotDots(p.x(), p.y(), 14, thickness);
            }
        };
        ref.setSnapshotPending(true);
        paint(st.pressR);
        paint(st.drag1R);
        paint(st.drag2R);
        if (tool == ToolDot) {
            paint(st.drag2R); // the release plots once more
        }
        QCOMPARE(s.shown(), s.expected());
        QVERIFY(s.shown() != before);

        // One undo takes back the whole stroke.
        s.h.frame->undoAction()->trigger();
        QCOMPARE(s.shown(), before);
    }

    void diagonalLine()
    {
        ToolSetup s;
        s.h.selectTool(ToolDiagonalLine);
        const auto before = s.shown();
        // A press left of and above the image starts at the clamped corner.
        s.press({-20, -20});
        s.move(zoomed(12, 12));
        QCOMPARE(s.view()->lineKind(), 2);
        s.move(zoomed(20, 20));
        s.release(zoomed(20, 20));
        QCOMPARE(s.view()->lineKind(), 0);
        s.reference.setSnapshotPending(true);
        s.reference.SetLineStart(0, 0);
        s.reference.FinishLine(20, 20);
        QCOMPARE(s.shown(), s.expected());
        QVERIFY(s.shown() != before);
        s.h.frame->OnUndo();
        QCOMPARE(s.shown(), before);
    }

    void cornerSequence()
    {
        ToolSetup s;
        s.h.selectTool(ToolCorner);
        QCOMPARE(s.view()->cursorKind(), 0);
        const auto before = s.shown();

        s.press(zoomed(40, 40));
        QCOMPARE(s.h.frame->cornerClicks(), 1);
        QVERIFY(s.view()->hoverShown());
        s.release(zoomed(40, 40));
        QVERIFY(s.view()->hoverShown()); // the first-click marker stays
        s.press(zoomed(44, 40));
        s.move(zoomed(60, 42));
        QCOMPARE(s.view()->lineKind(), 1);
        s.release(zoomed(60, 42));
        QCOMPARE(s.view()->lineKind(), 0);
        QVERIFY(!s.view()->hoverShown());

        ScaleDocument& ref = s.reference;
        ref.setSnapshotPending(true);
        ref.SetCornerFirst(40, 40);
        ref.setSnapshotPending(true);
        ref.SetCornerAnchor(44, 40);
        ref.DragCorner(60, 42);
        QCOMPARE(s.shown(), s.expected());
        QVERIFY(s.shown() != before);

        // A third press starts over with a new first point.
        s.press(zoomed(8, 9));
        QCOMPARE(s.h.frame->cornerClicks(), 3);
        QCOMPARE(s.doc().cornerFirst(), (Point{8, 9}));
        s.release(zoomed(8, 9));

        s.h.frame->OnUndo();
        QCOMPARE(s.shown(), before);

        // A tool change in mid-sequence resets the counter.
        s.h.selectTool(ToolDot);
        s.h.selectTool(ToolCorner);
        QCOMPARE(s.h.frame->cornerClicks(), 0);
        s.press(zoomed(20, 21));
        QCOMPARE(s.doc().cornerFirst(), (Point{20, 21}));
        QVERIFY(s.view()->hoverShown());
        s.h.selectTool(ToolAuto);
        QVERIFY(!s.view()->hoverShown());
        QCOMPARE(s.view()->lineKind(), 0);
    }

    void eyedropper()
    {
        ToolSetup s;
        s.h.selectTool(ToolDot);
        auto* pane = s.h.frame->palettePane();
        const int index = s.doc().ReadResultIndex(9, 17);
        QVERIFY(index != pane->chosenColour());
        emit s.view()->UWM_VIEW_RBUTTONDOWN(zoomed(9, 17).x(), zoomed(9, 17).y());
        QCOMPARE(pane->chosenColour(), index);
        // Outside the result nothing is picked.
        emit s.view()->UWM_VIEW_RBUTTONDOWN(kResult * kZoom + 40, 10);
        emit s.view()->UWM_VIEW_RBUTTONDOWN(-40, 10);
        QCOMPARE(pane->chosenColour(), index);
        // Other tools ignore the right button.
        s.h.selectTool(ToolAuto);
        emit s.view()->UWM_VIEW_RBUTTONDOWN(zoomed(0, 0).x(), zoomed(0, 0).y());
        QCOMPARE(pane->chosenColour(), index);
    }

    void toolsWithoutAnImageChangeNothing()
    {
        FrameHarness h(kFactor);
        h.selectTool(ToolDot);
        auto* view = h.frame->view();
        emit view->UWM_VIEW_LBUTTONDOWN(10, 10);
        emit view->UWM_VIEW_DRAG(30, 30);
        emit view->UWM_VIEW_LBUTTONUP(30, 30);
        emit view->UWM_VIEW_RBUTTONDOWN(10, 10);
        h.frame->OnUndo();
        QCOMPARE(h.frame->document().resultBitmap(), nullptr);
        QCOMPARE(h.frame->palettePane()->chosenColour(), 0);
    }

    void zoomTool()
    {
        ToolSetup s;
        s.h.selectZoomChoice(0);
        s.h.selectTool(ToolZoom);
        QCOMPARE(s.view()->cursorKind(), 1);
        emit s.view()->UWM_VIEW_LBUTTONDOWN(100, 90);
        QCOMPARE(s.view()->zoom(), 2);
        QCOMPARE(s.h.frame->toolPanel()->GetZoom(), 2);
        emit s.view()->UWM_VIEW_RBUTTONDOWN(100, 90);
        emit s.view()->UWM_VIEW_RBUTTONDOWN(100, 90);
        QCOMPARE(s.view()->zoom(), 1);
        s.h.selectTool(ToolAuto);
        QCOMPARE(s.view()->cursorKind(), 0);
    }

    void paletteSelectionRecoloursWithoutTouchingIndices()
    {
        ToolSetup s;
        writeAct(s.h.file(QStringLiteral("p.act")));
        s.h.frame->Open(s.h.file(QStringLiteral("p.act")));
        const auto indices = s.shown();
        const int runs = s.h.frame->engineRuns();
        const auto original = std::vector<Colour>(s.doc().resultBitmap()->colourTable().begin(),
                                                  s.doc().resultBitmap()->colourTable().end());

        // Block 0 is its bar plus 229 pixels high, so y 300 lies in block 1.
        QWidget* pane = s.h.frame->palettePane()->viewport();
        QTest::mouseClick(pane, Qt::LeftButton, {}, QPoint(60, 300));
        QCOMPARE(s.h.frame->palettePane()->selectedPalette(), 1);
        const PaletteEntry& added = s.h.frame->palettePane()->entries()[1];
        const auto table = s.doc().resultBitmap()->colourTable();
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(table[std::size_t(i)] | kOpaque, added.colours[std::size_t(i)] | kOpaque);
        }
        QCOMPARE(s.shown(), indices);
        QCOMPARE(s.h.frame->engineRuns(), runs);

        QTest::mouseClick(pane, Qt::LeftButton, {}, QPoint(60, 40));
        QCOMPARE(s.h.frame->palettePane()->selectedPalette(), 0);
        QCOMPARE(s.doc().resultBitmap()->colourTable()[3] | kOpaque, original[3] | kOpaque);
        QCOMPARE(s.shown(), indices);
    }

    void dotBeyondTheImagePaletteSurvivesSaving()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("sixteen.png"), 8, 8, 16);
        h.selectTool(ToolDot);
        h.frame->palettePane()->setChosenColour(200);
        emit h.frame->view()->UWM_VIEW_LBUTTONDOWN(3, 5);
        emit h.frame->view()->UWM_VIEW_LBUTTONUP(3, 5);
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("dot.png"));
        h.frame->OnFileSaveAs();
        QVERIFY(h.dialogs->messages.empty());
        auto back = readPng(h.file(QStringLiteral("dot.png")));
        QCOMPARE(int(back->image->row(5)[3]), 200);
        QCOMPARE(int(back->image->row(5)[4]), int(h.frame->document().resultBitmap()->row(5)[4]));
    }

    void thresholdReappliesOnlyOnAChange()
    {
        ToolSetup s;
        QSlider* slider = s.h.frame->toolPanel()->thresholdSlider();
        const int runs = s.h.frame->engineRuns();
        slider->setValue(slider->value());                    // no move at all
        emit s.h.frame->toolPanel()->UWM_THRESHOLD_CHANGED(); // a move back to the same value
        QCoreApplication::processEvents();
        QCOMPARE(s.h.frame->engineRuns(), runs);

        // The result keeps its size, so the scroll position stays.
        s.scrollTo(200, 150);
        slider->setValue(35);
        QCoreApplication::processEvents();
        QCOMPARE(s.h.frame->engineRuns(), runs + 1);
        QCOMPARE(s.doc().job()->threshold(), 35.0);
        QCOMPARE(s.view()->scrollOffset(), QPoint(200, 150));
        QCOMPARE(s.view()->displayedBitmap(), s.doc().resultBitmap());

        // Fifty quick moves: the last position wins, in at most two runs.
        for (int i = 0; i < 50; ++i) {
            slider->setValue(40 + (i * 7) % 50);
        }
        slider->setValue(37);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(s.h.frame->engineRuns() - (runs + 1) <= 2);
        QVERIFY(s.h.frame->engineRuns() > runs + 1);
        QCOMPARE(s.doc().job()->threshold(), 37.0);
        s.reference.Apply(kFactor, 37.0, false, s.h.settings.TransColorIndex);
        QCOMPARE(s.shown(), s.expected());

        // The forced re-apply runs even without a change and keeps the place.
        const int before = s.h.frame->engineRuns();
        s.h.frame->toolPanel()->reapplyButton()->click();
        QCOMPARE(s.h.frame->engineRuns(), before + 1);
        QCOMPARE(s.view()->scrollOffset(), QPoint(200, 150));
    }

    void settingsDialogReappliesOnlyOnAChange()
    {
        ToolSetup s;
        const int runs = s.h.frame->engineRuns();
        // Accepted without an engine parameter change (the auto-save switch).
        s.h.dialogs->onSettings = [](AppSettings& st) {
            st.IsAutoSave = !st.IsAutoSave;
            return true;
        };
        s.h.frame->settingsAction()->trigger();
        QCOMPARE(s.h.frame->engineRuns(), runs);
        // Cancelled: nothing.
        s.h.dialogs->onSettings = [](AppSettings&) { return false; };
        s.h.frame->settingsAction()->trigger();
        QCOMPARE(s.h.frame->engineRuns(), runs);
        // A smaller factor rebuilds the job and the view follows.
        s.h.dialogs->onSettings = [](AppSettings& st) {
            st.ImageScale = 2;
            return true;
        };
        s.h.frame->settingsAction()->trigger();
        QCOMPARE(s.h.frame->engineRuns(), runs + 1);
        QCOMPARE(s.doc().job()->factor(), 2);
        QCOMPARE(s.view()->resultScale(), 2);
        QCOMPARE(s.view()->displayedBitmap()->width(), kSource * 2);
        QCOMPARE(s.h.dialogs->settingsShown, 3);
    }
};

std::unique_ptr<QObject> makeFrameToolTest()
{
    return std::make_unique<FrameToolTest>();
}

} // namespace gridmint::test

#include "FrameToolTest.moc"
