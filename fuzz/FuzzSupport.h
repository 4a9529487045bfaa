// Shared by the image fuzz targets.
#pragma once

#include "image/Containers.h"

#include <cstdint>

// Reads every pixel of a decoded set, so that a wrong row table or a short
// store shows up under the sanitizers.
inline void touchEveryPixel(const gridmint::ImageSet& set)
{
    volatile unsigned sum = 0;
    for (std::int32_t y = 0; y < set.image->height(); ++y)
        for (std::int32_t x = 0; x < set.image->width(); ++x)
            sum = sum + set.image->row(y)[x];
}
