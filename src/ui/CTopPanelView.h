// The tool strip above the image view: tool buttons, pen thickness,
// display zoom, the nearest-colour threshold and the re-apply button.
#pragma once

#include "app/AppSettings.h"

#include <QWidget>
#include <array>
#include <functional>

class QAbstractButton;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

namespace gridmint {

class CTopPanelView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 40;
    static constexpr int kToolCount = 7;

    // `settings` must outlive the panel; `saveSettings` is called after every
    // threshold change has been stored in it.
    CTopPanelView(AppSettings& settings, std::function<void()> saveSettings,
                  QWidget* parent = nullptr);

    int toolMode() const;         // a ToolMode; ToolAuto at start
    int GetZoom() const;          // 1,2,4,8,12,16,32 for choices 0..6; 1 without selection
    bool stepZoom(int direction); // +1 next choice, -1 previous; false at either end
    int threshold() const;        // slider position 0..100
    int thickness() const;        // combo index + 1 (1..10)

    QComboBox* zoomCombo() const { return zoomCombo_; }
    QComboBox* thicknessCombo() const { return thicknessCombo_; }
    QSlider* thresholdSlider() const { return thresholdSlider_; }
    QLabel* thresholdLabel() const { return thresholdLabel_; }
    QAbstractButton* toolButton(int mode) const;
    QAbstractButton* reapplyButton() const;

    // "近似色判定閾値 : %3d"
    static QString thresholdText(int value);

signals:
    void UWM_ZOOM_SELECTED();
    void UWM_THRESHOLD_CHANGED();
    void UWM_TOOL_CHANGED();
    void UWM_REAPPLY();

private:
    void onToolPressed(int mode);
    void onThresholdMoved(int value, bool notify);
    void updateToolImages();
    void updateThicknessControls();

    AppSettings& settings_;
    std::function<void()> saveSettings_;
    int toolMode_;
    std::array<QToolButton*, kToolCount> toolButtons_{};
    QLabel* thicknessLabel_ = nullptr;
    QComboBox* thicknessCombo_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QComboBox* zoomCombo_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
    QSlider* thresholdSlider_ = nullptr;
    QAbstractButton* reapplyButton_ = nullptr;
};

} // namespace gridmint
