// The palette pane: one block per palette (the image's own first, then the
// palettes the user added), with a colour chosen in the selected block.
#pragma once

#include "image/Containers.h"

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

    // Replaces every block by the image's palette (entry 0). A null palette or
    // an empty path stands for "no image": "無題" with 256 black swatches.
    void ResetPalettes(const Palette* palette, const std::filesystem::path& path);
    // Appends a block; colours beyond 256 are dropped.
    void AddPalette(const Palette* palette, const std::filesystem::path& path);

    int selectedPalette() const { return selected_; }
    int chosenColour() const { return chosen_; }
    void setChosenColour(int index);
    const std::vector<PaletteEntry>& entries() const { return entries_; }
    void Redraw();

    // Removes added palette `index` (never block 0 nor the selected one);
    // false when the rule forbids it. This is what the context menu runs.
    bool removePalette(int index);
    // Whether the context menu is offered for block `index`.
    bool canRemove(int index) const;

signals:
    void UWM_PALETTE_SELECTED();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateScrollRange(bool toTop);
    int barHeight() const;

    std::vector<PaletteEntry> entries_;
    int selected_ = 0;
    int chosen_ = 0;
};

} // namespace gridmint
