#include "engine/DisplayConversion.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>

namespace gridmint {

namespace {

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

} // namespace

bool fillDisplayBitmap(IndexedBitmap& bitmap, const IndexedImage& image, const Palette& palette)
{
    if (bitmap.width() != image.width() || bitmap.height() != image.height())
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width());
    if (rowBytes > 0) {
        for (std::int32_t y = 0; y < image.height(); ++y)
            std::memcpy(bitmap.row(y), image.row(y), rowBytes);
    }
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
