#include "ui/CPaletteToolView.h"

namespace gridmint {

CPaletteToolView::CPaletteToolView(QWidget* parent) : QAbstractScrollArea(parent)
{
    entries_.push_back(PaletteEntry{QStringLiteral("無題"), {}, 0});
}

void CPaletteToolView::ResetPalettes(const Palette*, const std::filesystem::path&) {}
void CPaletteToolView::AddPalette(const Palette*, const std::filesystem::path&) {}
void CPaletteToolView::setChosenColour(int index)
{
    chosen_ = index;
}
void CPaletteToolView::Redraw()
{
    viewport()->update();
}
bool CPaletteToolView::removePalette(int)
{
    return false;
}
bool CPaletteToolView::canRemove(int) const
{
    return false;
}
void CPaletteToolView::paintEvent(QPaintEvent*) {}
void CPaletteToolView::mousePressEvent(QMouseEvent*) {}
void CPaletteToolView::contextMenuEvent(QContextMenuEvent*) {}
void CPaletteToolView::resizeEvent(QResizeEvent*) {}
void CPaletteToolView::updateScrollRange(bool) {}
int CPaletteToolView::barHeight() const
{
    return 20;
}

} // namespace gridmint
