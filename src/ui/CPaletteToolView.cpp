#include "ui/CPaletteToolView.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <algorithm>

namespace gridmint {

namespace {

const QString kUntitled = QStringLiteral("無題");

// The file name without folder and extension.
QString baseName(const std::filesystem::path& path)
{
#ifdef _WIN32
    return QString::fromStdWString(path.stem().wstring());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.stem().native()));
#endif
}

QColor swatchColour(Colour c)
{
    // Alpha plays no part in the pane: every swatch is shown opaque.
    return QColor(static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>(c & 0xFF));
}

QRect toQRect(const PaletteRect& r)
{
    return QRect(r.x, r.y, r.w, r.h);
}

} // namespace

CPaletteToolView::CPaletteToolView(QWidget* parent) : QAbstractScrollArea(parent)
{
    entries_.push_back(makeEntry(nullptr, {}));
    setFrameShape(QFrame::StyledPanel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(10);
    horizontalScrollBar()->setSingleStep(10);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    updateScrollRange(true);
}

PaletteEntry CPaletteToolView::makeEntry(const Palette* palette, const std::filesystem::path& path)
{
    PaletteEntry e;
    e.name = kUntitled;
    if (palette == nullptr) {
        return e;
    }
    // An entry has room for 256 colours; a longer palette is cut.
    const std::size_t n = std::min<std::size_t>(palette->count(), e.colours.size());
    std::copy_n(palette->colours.begin(), n, e.colours.begin());
    e.count = static_cast<int>(n);
    if (!path.empty()) {
        e.name = baseName(path);
    }
    return e;
}

void CPaletteToolView::ResetPalettes(const Palette* palette, const std::filesystem::path& path)
{
    entries_.clear();
    entries_.push_back(makeEntry(palette, path));
    selected_ = 0;
    keepChosenInPalette();
    updateScrollRange(true);
}

void CPaletteToolView::AddPalette(const Palette* palette, const std::filesystem::path& path)
{
    if (palette == nullptr) {
        return;
    }
    entries_.push_back(makeEntry(palette, path));
    updateScrollRange(true);
}

void CPaletteToolView::setChosenColour(int index)
{
    if (index >= 0 && index < selectedCount()) {
        chosen_ = index;
    }
}

int CPaletteToolView::selectedCount() const
{
    if (selected_ < 0 || selected_ >= static_cast<int>(entries_.size())) {
        return 0;
    }
    return entries_[static_cast<std::size_t>(selected_)].count;
}

void CPaletteToolView::keepChosenInPalette()
{
    // Slots past the palette's end hold no colour; a dot of such an index
    // would add a black entry to the saved palette.
    const int count = selectedCount();
    if (count > 0 && chosen_ >= count) {
        chosen_ = 0;
    }
}

void CPaletteToolView::Redraw()
{
    viewport()->update();
}

bool CPaletteToolView::canRemove(int index) const
{
    return index > 0 && index != selected_ && index < static_cast<int>(entries_.size());
}

void CPaletteToolView::selectPalette(int index)
{
    if (index >= 0 && index < static_cast<int>(entries_.size()) && index != selected_) {
        selected_ = index;
        viewport()->update();
    }
}

bool CPaletteToolView::removePalette(int index)
{
    if (!canRemove(index)) {
        return false;
    }
    entries_.erase(entries_.begin() + index);
    // Keep the highlight on the palette the document is using.
    if (index < selected_) {
        --selected_;
    }
    updateScrollRange(true);
    Redraw();
    return true;
}

PaletteLayout CPaletteToolView::layout() const
{
    return PaletteLayout(viewport()->fontMetrics().height() + 2);
}

int CPaletteToolView::contextTarget(QPoint viewportPos) const
{
    if (!viewport()->rect().contains(viewportPos)) {
        return -1;
    }
    const int b = layout().blockAt(viewportPos.y() + verticalScrollBar()->value());
    return canRemove(b) ? b : -1;
}

void CPaletteToolView::updateScrollRange(bool toTop)
{
    const PaletteLayout lay = layout();
    const QSize view = viewport()->size();
    const int height = lay.extentHeight(static_cast<int>(entries_.size()));
    verticalScrollBar()->setRange(0, std::max(0, height - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, std::min(100, view.height())));
    horizontalScrollBar()->setRange(0, std::max(0, PaletteLayout::kWidth - view.width()));
    horizontalScrollBar()->setPageStep(std::max(1, std::min(100, view.width())));
    if (toTop) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    }
}

void CPaletteToolView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange(false);
}

void CPaletteToolView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    const QPalette& pal = palette();
    p.fillRect(viewport()->rect(), pal.color(QPalette::Base));

    const PaletteLayout lay = layout();
    const int sx = horizontalScrollBar()->value();
    const int sy = verticalScrollBar()->value();
    p.translate(-sx, -sy);
    const int visibleTop = sy;
    const int visibleBottom = sy + viewport()->height();

    const QColor barSelected = pal.color(QPalette::Active, QPalette::Highlight);
    const QColor barOther(191, 205, 219);
    const QColor textSelected = pal.color(QPalette::Active, QPalette::HighlightedText);
    const QColor textOther(109, 109, 109);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const QColor empty = pal.color(QPalette::Mid);

    for (int i = 0; i < static_cast<int>(entries_.size()); ++i) {
        const int top = lay.blockTop(i);
        if (top >= visibleBottom || top + lay.pitch() <= visibleTop) {
            continue;
        }
        const PaletteEntry& e = entries_[static_cast<std::size_t>(i)];
        const bool selected = i == selected_;
        p.fillRect(toQRect(lay.bar(i)), selected ? barSelected : barOther);
        p.setPen(selected ? textSelected : textOther);
        p.drawText(toQRect(lay.nameRect(i)), Qt::AlignCenter | Qt::TextSingleLine, e.name);
        for (int k = 0; k < e.count; ++k) {
            p.fillRect(toQRect(lay.swatch(i, k)),
                       swatchColour(e.colours[static_cast<std::size_t>(k)]));
        }
        // Slots past the palette's end: an outline on the background, so
        // that they cannot pass for black colours.
        p.setPen(empty);
        for (int k = std::max(0, e.count); k < 256; ++k) {
            const PaletteRect s = lay.swatch(i, k);
            p.drawRect(s.x, s.y, s.w - 1, s.h - 1);
        }
        if (selected && chosen_ >= 0 && chosen_ < e.count) {
            const PaletteRect s = lay.swatch(i, chosen_);
            const PaletteLayout::Frame f = PaletteLayout::selectionFrame(s.x, s.y);
            for (const PaletteRect& r : f.light) {
                p.fillRect(toQRect(r), light);
            }
            for (const PaletteRect& r : f.dark) {
                p.fillRect(toQRect(r), dark);
            }
        }
    }
}

void CPaletteToolView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const PaletteLayout lay = layout();
    const QPoint pos = event->position().toPoint();
    const int x = pos.x() + horizontalScrollBar()->value();
    const int y = pos.y() + verticalScrollBar()->value();
    const int b = lay.blockAt(y);
    if (b < 0 || b >= static_cast<int>(entries_.size())) {
        return;
    }
    if (b != selected_) {
        // An empty palette has nothing to give the image; the selection
        // stays on the block whose colours the image shows.
        if (entries_[static_cast<std::size_t>(b)].count <= 0) {
            return;
        }
        // Anywhere in another block, bar or swatch, only selects that block.
        selected_ = b;
        keepChosenInPalette();
        viewport()->repaint();
        emit UWM_PALETTE_SELECTED();
        return;
    }
    const int colour = lay.colourAt(x, y);
    if (colour >= 0 && colour < selectedCount()) {
        chosen_ = colour;
        viewport()->repaint();
    }
}

void CPaletteToolView::showStatusTip(const QString& text)
{
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(this, &tip);
}

void CPaletteToolView::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu belongs to the pane's top-left corner.
    const QPoint pos = event->reason() == QContextMenuEvent::Keyboard ? QPoint(0, 0) : event->pos();
    const int target = contextTarget(pos);
    if (target < 0) {
        return;
    }
    QMenu menu(this);
    QAction* release = menu.addAction(QStringLiteral("このパレットを解放"));
    release->setStatusTip(
        QStringLiteral("このパレットをリストから削除します。ファイルは削除されません。"));
    // A pop-up menu is a window of its own, so its prompts would stop there;
    // hand them to the pane, whence they reach the main window's status bar.
    connect(&menu, &QMenu::hovered, this,
            [this](QAction* action) { showStatusTip(action->statusTip()); });
    connect(&menu, &QMenu::aboutToHide, this, [this] { showStatusTip({}); });
    if (menu.exec(viewport()->mapToGlobal(pos)) == release) {
        removePalette(target);
    }
}

} // namespace gridmint
