#include "image/IndexedBitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace gridmint {

IndexedBitmap::IndexedBitmap(std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0 || width > std::numeric_limits<std::int32_t>::max() - 3)
        throw std::length_error("bad bitmap size");
    const std::int64_t stride = (std::int64_t{width} + 3) & ~std::int64_t{3};
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (bytes > std::numeric_limits<std::size_t>::max() / 2)
        throw std::length_error("bitmap too large");
    bits_.assign(static_cast<std::size_t>(bytes), 0);
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::int32_t>(stride);
}

void IndexedBitmap::setColourTable(std::span<const Colour> colours)
{
    const std::size_t n = std::min<std::size_t>(colours.size(), kMaxColours);
    std::copy_n(colours.begin(), n, colours_.begin());
    std::fill(colours_.begin() + static_cast<std::ptrdiff_t>(n), colours_.end(), 0);
    colourCount_ = static_cast<std::int32_t>(n);
}

bool IndexedBitmap::copyPixelsFrom(const IndexedBitmap& from)
{
    if (from.width_ != width_ || from.height_ != height_)
        return false;
    if (&from != this && !bits_.empty())
        std::memcpy(bits_.data(), from.bits_.data(), bits_.size()); // same size, same stride
    return true;
}

std::unique_ptr<IndexedBitmap> IndexedBitmap::clone() const
{
    return std::make_unique<IndexedBitmap>(*this);
}

} // namespace gridmint
