#include "engine/DisplayConversion.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

namespace gridmint {

// Opaque colours of the palette, then opaque black: the view shows the
// transparent index in its colour, and a pixel beyond the palette is black
// rather than whatever the table held before.
std::array<Colour, IndexedBitmap::kMaxColours> displayColours(const Palette& palette)
{
    std::array<Colour, IndexedBitmap::kMaxColours> table;
    table.fill(kOpaque);
    const std::size_t n = std::min<std::size_t>(palette.count(), table.size());
    for (std::size_t i = 0; i < n; ++i)
        table[i] = palette.colours[i] | kOpaque;
    return table;
}

bool copyDisplayRows(IndexedBitmap& bitmap, const IndexedImage& image, std::int32_t firstRow,
                     std::int32_t endRow)
{
    if (bitmap.width() != image.width() || bitmap.height() != image.height())
        return false;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, image.height());
    const std::size_t rowBytes = static_cast<std::size_t>(image.width());
    if (rowBytes > 0) {
        for (std::int32_t y = firstRow; y < endRow; ++y)
            std::memcpy(bitmap.row(y), image.row(y), rowBytes);
    }
    return true;
}

bool fillDisplayBitmap(IndexedBitmap& bitmap, const IndexedImage& image, const Palette& palette)
{
    if (!copyDisplayRows(bitmap, image, 0, image.height()))
        return false;
    const auto table = displayColours(palette);
    bitmap.setColourTable(table);
    return true;
}

std::unique_ptr<IndexedBitmap> makeDisplayBitmap(const IndexedImage& image, const Palette& palette)
{
    try {
        auto bitmap = std::make_unique<IndexedBitmap>(image.width(), image.height());
        fillDisplayBitmap(*bitmap, image, palette);
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
}

} // namespace gridmint
