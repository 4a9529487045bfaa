#include "ui/CTopPanelView.h"

#include "app/ToolMode.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

namespace gridmint {

CTopPanelView::CTopPanelView(AppSettings& settings, std::function<void()> saveSettings,
                             QWidget* parent)
    : QWidget(parent), settings_(settings), saveSettings_(std::move(saveSettings)),
      toolMode_(ToolAuto)
{
}

int CTopPanelView::toolMode() const
{
    return toolMode_;
}
int CTopPanelView::GetZoom() const
{
    return 1;
}
bool CTopPanelView::stepZoom(int)
{
    return false;
}
int CTopPanelView::threshold() const
{
    return 0;
}
int CTopPanelView::thickness() const
{
    return 1;
}
QAbstractButton* CTopPanelView::toolButton(int) const
{
    return nullptr;
}
QAbstractButton* CTopPanelView::reapplyButton() const
{
    return reapplyButton_;
}
QString CTopPanelView::thresholdText(int value)
{
    return QString::number(value);
}
void CTopPanelView::onToolPressed(int) {}
void CTopPanelView::onThresholdMoved(int, bool) {}
void CTopPanelView::updateToolImages() {}
void CTopPanelView::updateThicknessControls() {}

} // namespace gridmint
