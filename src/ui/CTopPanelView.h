// The tool strip above the image view: tool buttons, pen thickness,
// display zoom, the nearest-colour threshold and the re-apply button.
#pragma once

#include "app/AppSettings.h"

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QAbstractButton;
class QComboBox;
class QLabel;
class QSlider;

namespace gridmint {

class ToolBitmapButton;

class CTopPanelView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 40;
    static constexpr int kToolCount = 7;
    static constexpr int kGroupCount = 5; // tools, thickness, zoom, threshold, re-apply

    // `settings` must outlive the panel. The starting threshold is stored in
    // it and `saveSettings` called once during construction, then again
    // after every slider move.
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
    QLabel* thicknessLabel() const { return thicknessLabel_; }
    QAbstractButton* toolButton(int mode) const; // null for a mode out of range
    QAbstractButton* reapplyButton() const;

    // "近似色判定閾値 : %3d"
    static QString thresholdText(int value);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Rows of kHeight the controls take at `width`: one on a wide strip;
    // on a narrow one the groups that do not fit wrap to further rows, so
    // that every control stays reachable.
    int rowsForWidth(int width) const;

signals:
    void UWM_ZOOM_SELECTED();
    void UWM_THRESHOLD_CHANGED();
    void UWM_TOOL_CHANGED();
    void UWM_REAPPLY();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placed {
        QWidget* widget;
        QRect original; // on a wide strip
        int group;
    };
    static void arrange(int width, std::array<int, kGroupCount>& shift,
                        std::array<int, kGroupCount>& row);

    void onToolPressed(int mode);
    void onThresholdMoved(int value, bool notify);
    void updateToolImages();
    void updateThicknessControls();

    AppSettings& settings_;
    std::function<void()> saveSettings_;
    int toolMode_;
    bool settingZoom_ = false; // programmatic zoom steps are not the user's choice
    std::array<ToolBitmapButton*, kToolCount> toolButtons_{};
    QLabel* thicknessLabel_ = nullptr;
    QComboBox* thicknessCombo_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QComboBox* zoomCombo_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
    QSlider* thresholdSlider_ = nullptr;
    QAbstractButton* reapplyButton_ = nullptr;
    std::vector<Placed> placed_;
};

} // namespace gridmint
