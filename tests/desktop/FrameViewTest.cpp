// The window around the image: zoom steps, the View menu's toggles, the
// palette pane's close button, the status line, and mouse positions reaching
// the frame with the scroll offset.
#include "FrameTestSupport.h"
#include "app/StatusText.h"
#include "app/ToolMode.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
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
        // Outside the image, on every side, and when the pointer leaves the
        // view, the line is idle again.
        for (const QPoint outside : {QPoint(24 * 16 + 3, 40), QPoint(-3, 40), QPoint(40, -1)}) {
            emit h.frame->view()->UWM_VIEW_HOVER(5 * 16, 9 * 16);
            QCOMPARE(h.frame->statusText(), at59);
            emit h.frame->view()->UWM_VIEW_HOVER(outside.x(), outside.y());
            QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
        }
        emit h.frame->view()->UWM_VIEW_HOVER(5 * 16, 9 * 16);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(h.frame->view()->viewport(), &leave);
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
        // A drag updates it as well.
        h.selectTool(ToolZoom);
        emit h.frame->view()->UWM_VIEW_DRAG(1, 1);
        QCOMPARE(h.frame->statusText(),
                 QString::fromStdString(FormatStatusText(job->neighbourStats(0, 0))));

        // A menu prompt shown over the line gives way to the idle text.
        h.frame->statusBar()->showMessage(h.frame->openAction()->statusTip());
        h.frame->statusBar()->clearMessage();
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));

        // Another image starts with the idle line, not the last one's numbers.
        emit h.frame->view()->UWM_VIEW_HOVER(5 * 16, 9 * 16);
        h.openPattern(QStringLiteral("small.png"), 16, 16);
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
    }

    void paletteRemovalPromptReachesTheStatusBar()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("p.png"), 8, 8);
        const auto act = h.file(QStringLiteral("extra.act"));
        writeAct(act);
        h.frame->Open(act);
        CPaletteToolView* pane = h.frame->palettePane();
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr);
            menu->setActiveAction(menu->actions().constFirst());
            shown = h.frame->statusBar()->currentMessage();
            menu->close();
        });
        const QPoint inBlock1(60, pane->layout().blockTop(1) + 40);
        QContextMenuEvent event(QContextMenuEvent::Mouse, inBlock1,
                                pane->viewport()->mapToGlobal(inBlock1));
        QCoreApplication::sendEvent(pane->viewport(), &event);
        QCOMPARE(shown,
                 QStringLiteral("このパレットをリストから削除します。ファイルは削除されません。"));
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
    }

    void helpAndDownloadSayWhereThePageIs()
    {
        FrameHarness h(2);
        // The build configured no download address, so none is offered.
        QVERIFY(CMainFrame::downloadPageUrl().isEmpty());
        QVERIFY(!h.frame->downloadAction()->isVisible());
        h.frame->OnDownloadPage();
        QVERIFY(h.dialogs->openedUrls.isEmpty() && h.dialogs->messages.isEmpty());

        // No program for the help page: a message names where it is.
        h.dialogs->urlsOpen = false;
        h.frame->OnHelp();
        QCOMPARE(h.dialogs->messages.size(), 1);
        QVERIFY2(h.dialogs->messages[0].contains(QStringLiteral("help")),
                 qPrintable(h.dialogs->messages[0]));
        h.dialogs->urlsOpen = true;
        h.frame->OnHelp();
        QCOMPARE(h.dialogs->messages.size(), CMainFrame::helpDocumentPath().isEmpty() ? 2 : 1);
    }
};

std::unique_ptr<QObject> makeFrameViewTest()
{
    return std::make_unique<FrameViewTest>();
}

} // namespace gridmint::test

#include "FrameViewTest.moc"
