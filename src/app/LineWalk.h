// Every grid position on the straight line between two positions, for drags
// whose pointer events arrive far apart.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace gridmint {

// Calls visit(x, y) for each position of the 8-connected Bresenham line from
// (x0, y0) to (x1, y1), both ends included, in order from the first.
template <class Visit>
void WalkLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, Visit visit)
{
    const std::int64_t dx = std::llabs(x1 - x0);
    const std::int64_t dy = -std::llabs(y1 - y0);
    const std::int64_t sx = x0 < x1 ? 1 : -1;
    const std::int64_t sy = y0 < y1 ? 1 : -1;
    std::int64_t err = dx + dy;
    for (;;) {
        visit(x0, y0);
        if (x0 == x1 && y0 == y1)
            return;
        const std::int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

} // namespace gridmint
