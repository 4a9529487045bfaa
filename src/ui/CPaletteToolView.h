// The palette pane: one block per palette (the image's own first, then the
// palettes the user added), with a colour chosen in the selected block.
#pragma once

#include "image/Containers.h"
#include "ui/PaletteLayout.h"

#include <QAbstractScrollArea>
#include <QString>
#include <array>
#include <filesystem>
#include <vector>

namespace gridmint {

struct PaletteEntry {
    QString name;
    std::array<Colour, 256> colours{};
    int count = 0;
};

class CPaletteToolView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CPaletteToolView(QWidget* parent = nullptr);

    // Replaces every block by the image's palette (entry 0) and selects it.
    // A null palette stands for "no image": "無題" with 256 empty slots;
    // an empty path keeps the name "無題". Colours beyond 256 are dropped.
    void ResetPalettes(const Palette* palette, const std::filesystem::path& path);
    // Appends a block named after the file; a null palette adds nothing.
    void AddPalette(const Palette* palette, const std::filesystem::path& path);

    int selectedPalette() const { return selected_; }
    // Selects a block without announcing it (the frame restoring the block
    // whose colours the document shows); an index out of range is ignored.
    void selectPalette(int index);
    int chosenColour() const { return chosen_; }
    // An index of the selected palette; anything past its end is ignored.
    void setChosenColour(int index);
    const std::vector<PaletteEntry>& entries() const { return entries_; }
    void Redraw();

    // Removes an added palette. Block 0 and the selected block cannot go;
    // false then. A removal before the selected block moves the selection
    // with its palette.
    bool removePalette(int index);
    bool canRemove(int index) const;
    // The block a context menu at `viewportPos` would offer to remove, or
    // -1 when no menu is shown there.
    int contextTarget(QPoint viewportPos) const;

    PaletteLayout layout() const;

signals:
    void UWM_PALETTE_SELECTED();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static PaletteEntry makeEntry(const Palette* palette, const std::filesystem::path& path);
    void updateScrollRange(bool toTop);
    int selectedCount() const;
    void showStatusTip(const QString& text);
    void keepChosenInPalette();

    std::vector<PaletteEntry> entries_;
    int selected_ = 0;
    int chosen_ = 0;
};

} // namespace gridmint
