#include "app/StatusText.h"

#include <cstdio>

namespace gridmint {

std::array<int, 12> StatusCounts(const NeighbourStats& s)
{
    // Left, right, up, down, which is not the order of the record's fields.
    return {s.sameIndex.left,      s.sameIndex.right,   s.sameIndex.top,
            s.sameIndex.bottom,    s.sameColour.left,   s.sameColour.right,
            s.sameColour.top,      s.sameColour.bottom, s.similarColour.left,
            s.similarColour.right, s.similarColour.top, s.similarColour.bottom};
}

std::string FormatStatusText(const NeighbourStats& stats)
{
    const std::array<int, 12> n = StatusCounts(stats);
    char text[512];
    std::snprintf(text, sizeof text,
                  "同インデックス [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ] "
                  "同色 [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ] "
                  "近似色 [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ]",
                  n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9], n[10], n[11]);
    return text;
}

} // namespace gridmint
