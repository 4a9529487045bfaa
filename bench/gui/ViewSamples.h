// Pictures for the view's benchmark and screenshots: a result raster that is
// a source enlarged by plain blocks, with colours that make misplaced pixels
// easy to see.
#pragma once

#include "image/IndexedBitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gridmint::sample {

inline std::unique_ptr<IndexedBitmap> BlockResult(int sourceWidth, int sourceHeight, int factor)
{
    auto bitmap = std::make_unique<IndexedBitmap>(sourceWidth * factor, sourceHeight * factor);
    std::vector<Colour> colours(256);
    for (int i = 0; i < 256; ++i) {
        const auto r = static_cast<Colour>((i * 37) & 0xFF);
        const auto g = static_cast<Colour>((i * 91 + 40) & 0xFF);
        const auto b = static_cast<Colour>((i * 157 + 80) & 0xFF);
        colours[static_cast<std::size_t>(i)] = kOpaque | (r << 16) | (g << 8) | b;
    }
    bitmap->setColourTable(colours);
    for (int y = 0; y < bitmap->height(); ++y) {
        std::uint8_t* row = bitmap->row(y);
        const int sy = y / factor;
        for (int x = 0; x < bitmap->width(); ++x) {
            const int sx = x / factor;
            row[x] = static_cast<std::uint8_t>((sx * 7 + sy * 13 + ((sx ^ sy) & 3) * 50) & 0xFF);
        }
    }
    return bitmap;
}

} // namespace gridmint::sample
