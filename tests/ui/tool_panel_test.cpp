#include "app/ToolMode.h"
#include "ui/CTopPanelView.h"
#include "ui/UiResources.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

using namespace gridmint;

namespace {

const int kVisibleTools[] = {ToolNearest, ToolAuto, ToolDiagonalLine,
                             ToolCorner,  ToolDot,  ToolZoom};

// The active picture strip has a warm face; the normal one is grey.
bool showsActive(QAbstractButton* b)
{
    const QColor face = b->grab().toImage().pixelColor(12, 3);
    return face.red() > face.blue() + 40;
}

} // namespace

class ToolPanelTest : public QObject {
    Q_OBJECT

    AppSettings settings_;
    int saves_ = 0;

    std::unique_ptr<CTopPanelView> makePanel(std::uint32_t storedThreshold)
    {
        settings_ = AppSettings{};
        settings_.NearestColorThreshold = storedThreshold;
        saves_ = 0;
        auto panel = std::make_unique<CTopPanelView>(settings_, [this] { ++saves_; });
        panel->resize(panel->sizeHint());
        panel->show();
        return panel;
    }

private slots:
    void initTestCase() { initUiResources(); }

    void labelRightAlignsTheNumberInThreePlaces()
    {
        QCOMPARE(CTopPanelView::thresholdText(5), QStringLiteral("近似色判定閾値 :   5"));
        QCOMPARE(CTopPanelView::thresholdText(20), QStringLiteral("近似色判定閾値 :  20"));
        QCOMPARE(CTopPanelView::thresholdText(100), QStringLiteral("近似色判定閾値 : 100"));
    }

    void startupTakesTheStoredThresholdAndSavesIt()
    {
        auto panel = makePanel(37);
        QCOMPARE(panel->threshold(), 37);
        QCOMPARE(panel->thresholdLabel()->text(), CTopPanelView::thresholdText(37));
        QCOMPARE(saves_, 1);
        QCOMPARE(panel->height(), 40);
    }

    void startupReplacesAnOutOfRangeThresholdBy20()
    {
        auto panel = makePanel(101);
        QCOMPARE(panel->threshold(), 20);
        QCOMPARE(settings_.NearestColorThreshold, 20u);
        QCOMPARE(saves_, 1);
    }

    void everySliderChangeStoresSavesThenNotifies()
    {
        auto panel = makePanel(20);
        QSignalSpy spy(panel.get(), &CTopPanelView::UWM_THRESHOLD_CHANGED);
        // The frame re-runs the engine on the signal: the value must be
        // stored and saved by then.
        std::vector<std::pair<std::uint32_t, int>> seen;
        connect(panel.get(), &CTopPanelView::UWM_THRESHOLD_CHANGED, this,
                [&] { seen.emplace_back(settings_.NearestColorThreshold, saves_); });

        panel->thresholdSlider()->setValue(40);
        QTest::keyClick(panel->thresholdSlider(), Qt::Key_Right);
        panel->thresholdSlider()->triggerAction(QAbstractSlider::SliderToMaximum);

        QCOMPARE(spy.count(), 3);
        const std::vector<std::pair<std::uint32_t, int>> expected{{40, 2}, {41, 3}, {100, 4}};
        QCOMPARE(seen, expected);
        QCOMPARE(panel->thresholdLabel()->text(), QStringLiteral("近似色判定閾値 : 100"));
        QCOMPARE(panel->threshold(), 100);
    }

    void startsWithAutoActiveAndThicknessEnabled()
    {
        auto panel = makePanel(20);
        QCOMPARE(panel->toolMode(), int(ToolAuto));
        QVERIFY(panel->thicknessCombo()->isEnabled());
        QVERIFY(panel->thicknessLabel()->isEnabled());
        QCOMPARE(panel->thickness(), 1);
        QVERIFY(panel->toolButton(ToolDiagonal)->isHidden());
        for (int mode : kVisibleTools) {
            QVERIFY(panel->toolButton(mode)->isVisible());
            QCOMPARE(showsActive(panel->toolButton(mode)), mode == ToolAuto);
            QVERIFY(!panel->toolButton(mode)->toolTip().isEmpty());
        }
    }

    void pressingAToolSwitchesPicturesAndThicknessControls()
    {
        auto panel = makePanel(20);
        QSignalSpy spy(panel.get(), &CTopPanelView::UWM_TOOL_CHANGED);
        int modeSeen = -1;
        connect(panel.get(), &CTopPanelView::UWM_TOOL_CHANGED, this,
                [&] { modeSeen = panel->toolMode(); });

        int presses = 0;
        for (int mode : kVisibleTools) {
            panel->toolButton(mode)->click();
            ++presses;
            QCOMPARE(spy.count(), presses);
            QCOMPARE(modeSeen, mode);
            QCOMPARE(panel->toolMode(), mode);
            const bool thick = mode == ToolNearest || mode == ToolAuto || mode == ToolDot;
            QCOMPARE(panel->thicknessCombo()->isEnabled(), thick);
            QCOMPARE(panel->thicknessLabel()->isEnabled(), thick);
            for (int other : kVisibleTools) {
                QCOMPARE(showsActive(panel->toolButton(other)), other == mode);
            }
        }
        // Pressing the current tool again still tells the frame.
        panel->toolButton(ToolZoom)->click();
        QCOMPARE(spy.count(), presses + 1);
    }

    void thicknessIsTheComboIndexPlusOne()
    {
        auto panel = makePanel(20);
        QCOMPARE(panel->thicknessCombo()->count(), 10);
        panel->thicknessCombo()->setCurrentIndex(9);
        QCOMPARE(panel->thickness(), 10);
        QCOMPARE(panel->thicknessCombo()->currentText(), QStringLiteral("10"));
    }

    void zoomChoicesAndSteps()
    {
        auto panel = makePanel(20);
        QSignalSpy spy(panel.get(), &CTopPanelView::UWM_ZOOM_SELECTED);
        QCOMPARE(panel->GetZoom(), 1);
        QVERIFY(!panel->stepZoom(-1));
        const int factors[] = {2, 4, 8, 12, 16, 32};
        for (int f : factors) {
            QVERIFY(panel->stepZoom(+1));
            QCOMPARE(panel->GetZoom(), f);
        }
        QCOMPARE(panel->zoomCombo()->currentText(), QStringLiteral("x 32"));
        QVERIFY(!panel->stepZoom(+1));
        QCOMPARE(panel->GetZoom(), 32);
        QCOMPARE(spy.count(), 0); // steps are not the user's choice

        QTest::keyClick(panel->zoomCombo(), Qt::Key_Up);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(panel->GetZoom(), 16);

        panel->zoomCombo()->setCurrentIndex(-1);
        QCOMPARE(panel->GetZoom(), 1);
    }

    void reapplyButtonNotifies()
    {
        auto panel = makePanel(20);
        QSignalSpy spy(panel.get(), &CTopPanelView::UWM_REAPPLY);
        panel->reapplyButton()->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(panel->reapplyButton()->text(), QStringLiteral("再適用"));
    }
};

QTEST_MAIN(ToolPanelTest)
#include "tool_panel_test.moc"
