#include "image/Containers.h"

#include "image/Platform.h"

#include <limits>
#include <new>
#include <stdexcept>

namespace gridmint {

void IndexedImage::AlignedFree::operator()(std::uint8_t* p) const
{
    platform::alignedFree(p);
}

void IndexedImage::allocate(std::uint32_t width, std::uint32_t height)
{
    store_.reset();
    rows_.clear();
    width_ = 0;
    height_ = 0;

    const std::uint64_t bytes = std::uint64_t{width} * height;
    if (bytes > std::numeric_limits<std::size_t>::max() - 16)
        throw std::length_error("image too large");
    auto* p =
        static_cast<std::uint8_t*>(platform::alignedAllocate(16, static_cast<std::size_t>(bytes)));
    if (p == nullptr)
        throw std::bad_alloc();
    store_.reset(p);

    rows_.resize(height);
    for (std::uint32_t y = 0; y < height; ++y)
        rows_[y] = p + std::size_t{y} * width;
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(height);
}

void IndexedImage::clear()
{
    store_.reset();
    rows_.clear();
    rows_.shrink_to_fit();
    width_ = 0;
    height_ = 0;
    name.clear();
}

std::int32_t ImageSet::width() const
{
    if (first)
        return first->width();
    return image ? image->width() : 0;
}

std::int32_t ImageSet::height() const
{
    if (first)
        return first->height();
    return image ? image->height() : 0;
}

void ImageSet::destroy()
{
    first.reset();
    image.reset();
    palette.reset();
    kind = 0;
}

} // namespace gridmint
