// The window around the image: zoom steps, the View menu's toggles, the
// palette pane's close button, the status line, and mouse positions reaching
// the frame with the scroll offset.
#include "FrameTestSupport.h"
#include "app/StatusText.h"
#include "app/ToolMode.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

namespace gridmint::test {

class FrameViewTest : public QObject {
    Q_OBJECT
private slots:
    void zoomStepsFollowTheChoiceList()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("z.png"), 20, 20);
        auto* view = h.frame->view();
        emit view->UWM_ZOOM_OUT(); // already at x 1
        QCOMPARE(view->zoom(), 1);
        for (int z : {2, 4, 8, 12, 16, 32, 32}) {
            emit view->UWM_ZOOM_IN();
            QCOMPARE(view->zoom(), z);
            QCOMPARE(h.frame->toolPanel()->GetZoom(), z);
        }
        emit view->UWM_ZOOM_OUT();
        QCOMPARE(view->zoom(), 16);

        // The zoom tool steps too, left click in and right click out.
        h.selectTool(ToolZoom);
        QCOMPARE(view->cursorKind(), 1);
        emit view->UWM_VIEW_LBUTTONDOWN(100, 90);
        QCOMPARE(view->zoom(), 32);
        emit view->UWM_VIEW_RBUTTONDOWN(100, 90);
        emit view->UWM_VIEW_RBUTTONDOWN(100, 90);
        QCOMPARE(view->zoom(), 12);
        h.selectTool(ToolAuto);
        QCOMPARE(view->cursorKind(), 0);
    }

    void viewMenuToggles()
    {
        FrameHarness h(2);
        CMainFrame& f = *h.frame;
        f.gridAction()->trigger();
        QVERIFY(!f.gridAction()->isChecked() && !f.view()->gridShown());
        f.statusBarAction()->trigger();
        QVERIFY(!f.statusBarAction()->isChecked() && !f.statusBar()->isVisible());
        f.statusBarAction()->trigger();
        QVERIFY(f.statusBarAction()->isChecked() && f.statusBar()->isVisible());

        QWidget* pane = f.palettePaneContainer();
        QCoreApplication::processEvents(); // the splitter lays out on the next turn
        QCOMPARE(pane->width(), 246);
        const int viewWidth = f.view()->width();
        f.paletteAction()->trigger();
        QCoreApplication::processEvents();
        QVERIFY(pane->isHidden() && !f.paletteAction()->isChecked());
        QVERIFY(f.view()->width() > viewWidth);
        f.paletteAction()->trigger();
        QCoreApplication::processEvents();
        QVERIFY(pane->isVisible() && f.paletteAction()->isChecked());
        QCOMPARE(pane->width(), 246);
        f.paletteCloseButton()->click();
        QVERIFY(pane->isHidden() && !f.paletteAction()->isChecked());
        // A wider window widens the view, not the pane.
        f.paletteAction()->trigger();
        f.resize(f.width() + 100, f.height());
        QCoreApplication::processEvents();
        QCOMPARE(pane->width(), 246);
    }

    void mousePositionsIncludeTheScrollOffset()
    {
        FrameHarness h(4);
        h.openPattern(QStringLiteral("s.png"), 40, 40); // 160 x 160 result
        h.selectZoomChoice(3);
        h.selectTool(ToolDot);
        h.frame->palettePane()->setChosenColour(15); // never in the pattern
        auto* view = h.frame->view();
        view->horizontalScrollBar()->setValue(333);
        view->verticalScrollBar()->setValue(517);
        const auto before = pixelsOf(*h.frame->document().resultBitmap());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(70, 45));
        const auto after = pixelsOf(*h.frame->document().resultBitmap());
        const auto target = static_cast<std::size_t>((517 + 45) / 8 * 160 + (333 + 70) / 8);
        for (std::size_t i = 0; i < after.size(); ++i) {
            QCOMPARE(int(after[i]), i == target ? 15 : int(before[i]));
        }
    }

    void statusLineForAHoveredPixel()
    {
        FrameHarness h(4);
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
        emit h.frame->view()->UWM_VIEW_HOVER(10, 10); // no image
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));

        h.openPattern(QStringLiteral("h.png"), 24, 24);
        h.selectZoomChoice(2); // one source pixel is 16 screen pixels
        const ScaleJob* job = h.frame->document().job();
        const QString at59 = QString::fromStdString(FormatStatusText(job->neighbourStats(5, 9)));
        emit h.frame->view()->UWM_VIEW_HOVER(5 * 16 + 15, 9 * 16);
        QCOMPARE(h.frame->statusText(), at59);
        // Outside the image the line keeps its text, on every side.
        emit h.frame->view()->UWM_VIEW_HOVER(24 * 16 + 3, 40);
        emit h.frame->view()->UWM_VIEW_HOVER(-3, 40);
        QCOMPARE(h.frame->statusText(), at59);
        // A drag updates it as well.
        h.selectTool(ToolZoom);
        emit h.frame->view()->UWM_VIEW_DRAG(1, 1);
        QCOMPARE(h.frame->statusText(),
                 QString::fromStdString(FormatStatusText(job->neighbourStats(0, 0))));
    }
};

std::unique_ptr<QObject> makeFrameViewTest()
{
    return std::make_unique<FrameViewTest>();
}

} // namespace gridmint::test

#include "FrameViewTest.moc"
