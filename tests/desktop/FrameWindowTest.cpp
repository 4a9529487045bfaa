// The window on screens of every size: the first-start size, a remembered
// place that no longer fits, the tool strip at narrow widths, and where the
// keyboard starts.
#include "FrameTestSupport.h"
#include "desktop/WindowPlacement.h"
#include "ui/CGridmintView.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace gridmint::test {

namespace {

QByteArray geometryOf(const QRect& rect)
{
    QWidget w;
    w.setGeometry(rect);
    return w.saveGeometry();
}

} // namespace

class FrameWindowTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartFitsTheAvailableArea()
    {
        QCOMPARE(FittedWindowSize(QRect(0, 0, 1920, 1040), QSize(16, 40)), kUsualWindowSize);
        QCOMPARE(FittedWindowSize(QRect(0, 0, 800, 570), QSize(16, 40)), QSize(784, 530));
        QCOMPARE(FittedWindowSize(QRect(0, 0, 1366, 728), QSize(16, 40)), QSize(1024, 688));

        AppSettings settings;
        CMainFrame frame(settings, std::make_unique<RecordingDialogs>());
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(frame.width() < available.width() && frame.height() < available.height());
        QCOMPARE(frame.minimumSize(), kMinimumWindowSize);
        // The keyboard starts on the image, not on some tool button.
        QCOMPARE(frame.focusWidget(), static_cast<QWidget*>(frame.view()));
    }

    void rememberedPlaceOnlyWhenItStillFits()
    {
        const QRect small(30, 40, 600, 420);
        QVERIFY(SavedGeometryFits(geometryOf(small), {QRect(0, 0, 800, 600)}));
        QVERIFY(!SavedGeometryFits(geometryOf(QRect(10, 10, 1800, 1000)), {QRect(0, 0, 800, 600)}));
        QVERIFY(SavedGeometryFits(geometryOf(QRect(1930, 10, 1800, 1000)),
                                  {QRect(0, 0, 800, 600), QRect(1920, 0, 1920, 1080)}));
        QVERIFY(!SavedGeometryFits(QByteArray("not a geometry"), {QRect(0, 0, 800, 600)}));
        QVERIFY(!SavedGeometryFits({}, {QRect(0, 0, 800, 600)}));

        AppSettings settings;
        CMainFrame fitted(settings, std::make_unique<RecordingDialogs>());
        const QSize firstStart = fitted.size();

        CMainFrame tooLarge(settings, std::make_unique<RecordingDialogs>());
        tooLarge.RestoreWindowLayout({geometryOf(QRect(0, 0, 3000, 2000)), {}, true});
        QCOMPARE(tooLarge.size(), firstStart);

        CMainFrame restored(settings, std::make_unique<RecordingDialogs>());
        restored.RestoreWindowLayout({geometryOf(small), {}, false});
        QCOMPARE(restored.size(), small.size());
        QVERIFY(restored.palettePaneContainer()->isHidden());
        QVERIFY(!restored.paletteAction()->isChecked());
        const WindowLayout kept = restored.windowLayout();
        QVERIFY(!kept.paletteShown);
        QVERIFY(SavedGeometryFits(kept.geometry, {QRect(0, 0, 800, 600)}));
    }

    void everyToolStaysReachableWhenNarrow()
    {
        FrameHarness h(2);
        CTopPanelView* panel = h.frame->toolPanel();
        QCOMPARE(panel->rowsForWidth(1024), 1);
        for (const int width : {kMinimumWindowSize.width(), 600, 700, 1024}) {
            h.frame->resize(width, 500);
            QCoreApplication::processEvents();
            QCOMPARE(panel->height(), panel->rowsForWidth(panel->width()) * CTopPanelView::kHeight);
            QVERIFY(panel->width() <= width);
            for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (child->isVisible()) {
                    QVERIFY2(panel->rect().contains(child->geometry()),
                             qPrintable(QStringLiteral("%1 at width %2")
                                            .arg(child->metaObject()->className())
                                            .arg(width)));
                }
            }
        }
        QVERIFY(panel->rowsForWidth(kMinimumWindowSize.width()) > 1);
        QVERIFY(panel->reapplyButton()->isVisible());
    }
};

std::unique_ptr<QObject> makeFrameWindowTest()
{
    return std::make_unique<FrameWindowTest>();
}

} // namespace gridmint::test

#include "FrameWindowTest.moc"
