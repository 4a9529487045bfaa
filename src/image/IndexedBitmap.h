// The 8-bit indexed raster that stands in for the platform's display bitmap:
// the engine's display conversion fills it, the document edits and saves it,
// the view paints it.
//
// Rows are `stride()` bytes apart, the stride being the width rounded up to a
// multiple of 4, so that code which confuses width and stride shows itself.
// The colour table holds up to 256 colours (0xAARRGGBB).
#pragma once

#include "image/Containers.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace gridmint {

class IndexedBitmap {
public:
    static constexpr int kMaxColours = 256;

    IndexedBitmap() = default;
    // All pixels 0, no colours. Throws std::length_error for negative sizes or
    // sizes whose byte count does not fit, std::bad_alloc when out of memory.
    IndexedBitmap(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int32_t stride() const { return stride_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    // No bounds checking: 0 <= y < height.
    std::uint8_t* row(std::int32_t y) { return bits_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_); }
    const std::uint8_t* row(std::int32_t y) const
    {
        return bits_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_);
    }
    std::uint8_t* bits() { return bits_.data(); }
    const std::uint8_t* bits() const { return bits_.data(); }

    std::span<const Colour> colourTable() const { return {colours_.data(), static_cast<std::size_t>(colourCount_)}; }
    std::int32_t colourCount() const { return colourCount_; }
    // Takes at most the first 256 colours.
    void setColourTable(std::span<const Colour> colours);

    // Copies the pixel rows of `from` (same width and height required; the
    // colour table is left alone). False when the sizes differ.
    bool copyPixelsFrom(const IndexedBitmap& from);

    // A new raster with the same size, pixels and colour table.
    std::unique_ptr<IndexedBitmap> clone() const;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t stride_ = 0;
    std::vector<std::uint8_t> bits_;
    std::array<Colour, kMaxColours> colours_{};
    std::int32_t colourCount_ = 0;
};

} // namespace gridmint
