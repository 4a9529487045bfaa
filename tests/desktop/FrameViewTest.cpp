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
        auto* panel = h.frame->toolPanel();
        emit view->UWM_ZOOM_OUT(); // already at x 1: stays
        QCOMPARE(panel->GetZoom(), 1);
        QCOMPARE(view->zoom(), 1);
        const int expected[] = {2, 4, 8, 12, 16, 32, 32};
        for (int z : expected) {
            emit view->UWM_ZOOM_IN();
            QCOMPARE(panel->GetZoom(), z);
            QCOMPARE(view->zoom(), z);
        }
        emit view->UWM_ZOOM_OUT();
        QCOMPARE(view->zoom(), 16);
        h.selectZoomChoice(1);
        QCOMPARE(view->zoom(), 2);
    }

    void viewMenuToggles()
    {
        FrameHarness h(2);
        auto* frame = h.frame.get();
        QVERIFY(frame->gridAction()->isChecked() && frame->view()->gridShown());
        frame->gridAction()->trigger();
        QVERIFY(!frame->gridAction()->isChecked());
        QVERIFY(!frame->view()->gridShown());
        frame->gridAction()->trigger();
        QVERIFY(frame->view()->gridShown());

        QVERIFY(frame->statusBar()->isVisible());
        frame->statusBarAction()->trigger();
        QVERIFY(!frame->statusBar()->isVisible());
        QVERIFY(!frame->statusBarAction()->isChecked());
        frame->statusBarAction()->trigger();
        QVERIFY(frame->statusBar()->isVisible());
        QVERIFY(frame->statusBarAction()->isChecked());
    }

    void palettePaneToggleAndCloseButton()
    {
        FrameHarness h(2);
        auto* frame = h.frame.get();
        QCoreApplication::processEvents();
        QWidget* pane = frame->palettePaneContainer();
        QCOMPARE(pane->width(), 246);
        const int viewWidth = frame->view()->width();

        frame->paletteAction()->trigger();
        QCoreApplication::processEvents(); // the splitter lays out on the next turn
        QVERIFY(pane->isHidden());
        QVERIFY(!frame->paletteAction()->isChecked());
        QVERIFY(frame->view()->width() > viewWidth);

        frame->paletteAction()->trigger();
        QCoreApplication::processEvents();
        QVERIFY(pane->isVisible());
        QVERIFY(frame->paletteAction()->isChecked());
        QCOMPARE(pane->width(), 246);

        frame->paletteCloseButton()->click();
        QVERIFY(pane->isHidden());
        QVERIFY(!frame->paletteAction()->isChecked());
        QVERIFY(frame->view()->isVisible());

        // A wider window widens the view, not the pane.
        frame->paletteAction()->trigger();
        frame->resize(frame->width() + 100, frame->height());
        QCoreApplication::processEvents();
        QCOMPARE(pane->width(), 246);
    }

    void mousePositionsIncludeTheScrollOffset()
    {
        FrameHarness h(4);
        h.openPattern(QStringLiteral("s.png"), 40, 40); // 160 x 160 result
        h.selectZoomChoice(3);                          // 1280 x 1280 on screen
        h.selectTool(ToolDot);
        h.frame->palettePane()->setChosenColour(15);
        auto* view = h.frame->view();
        view->horizontalScrollBar()->setValue(333);
        view->verticalScrollBar()->setValue(517);
        QCOMPARE(view->scrollOffset(), QPoint(333, 517));

        const auto before = pixelsOf(*h.frame->document().resultBitmap());
        const QPoint at(70, 45);
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        const auto after = pixelsOf(*h.frame->document().resultBitmap());
        const int rx = (333 + 70) / 8;
        const int ry = (517 + 45) / 8;
        // Exactly that pixel changed (the pattern never uses index 15).
        for (std::size_t i = 0; i < after.size(); ++i) {
            const bool target = i == static_cast<std::size_t>(ry * 160 + rx);
            QCOMPARE(int(after[i]), target ? 15 : int(before[i]));
        }
    }

    void statusLineForAHoveredPixel()
    {
        FrameHarness h(4);
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
        emit h.frame->view()->UWM_VIEW_HOVER(10, 10); // no image: unchanged
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));

        h.openPattern(QStringLiteral("h.png"), 24, 24);
        h.selectZoomChoice(2); // x 4: one source pixel is 16 screen pixels
        const ScaleJob* job = h.frame->document().job();
        const QString expected =
            QString::fromStdString(FormatStatusText(job->neighbourStats(5, 9)));
        emit h.frame->view()->UWM_VIEW_HOVER(5 * 16 + 15, 9 * 16);
        QCOMPARE(h.frame->statusText(), expected);

        // Outside the image the line keeps its last text.
        emit h.frame->view()->UWM_VIEW_HOVER(24 * 16 + 3, 40);
        QCOMPARE(h.frame->statusText(), expected);
        emit h.frame->view()->UWM_VIEW_HOVER(-3, 40);
        QCOMPARE(h.frame->statusText(), expected);

        // A drag updates it too.
        h.selectTool(ToolZoom);
        const QString other = QString::fromStdString(FormatStatusText(job->neighbourStats(0, 0)));
        emit h.frame->view()->UWM_VIEW_DRAG(1, 1);
        QCOMPARE(h.frame->statusText(), other);
    }

    void helpAndDownloadGoToTheDesktop()
    {
        FrameHarness h(2);
        h.frame->downloadAction()->trigger();
        QCOMPARE(h.dialogs->urls.size(), std::size_t{1});
        QVERIFY(h.dialogs->urls[0].scheme().startsWith(QStringLiteral("http")));
        h.frame->helpAction()->trigger();
        if (!CMainFrame::helpDocumentPath().isEmpty()) {
            QCOMPARE(h.dialogs->urls.size(), std::size_t{2});
            QVERIFY(h.dialogs->urls[1].isLocalFile());
        }
    }
};

std::unique_ptr<QObject> makeFrameViewTest()
{
    return std::make_unique<FrameViewTest>();
}

} // namespace gridmint::test

#include "FrameViewTest.moc"
