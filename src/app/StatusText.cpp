#include "app/StatusText.h"

#include <cstdio>

namespace gridmint {

std::string FormatStatusText(const NeighbourStats& s)
{
    // The counts are shown left, right, up, down, which is not the order of
    // the record's fields.
    char text[512];
    std::snprintf(text, sizeof text,
                  "同インデックス [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ] "
                  "同色 [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ] "
                  "近似色 [ 左 %4d, 右 %4d, 上 %4d, 下 %4d ]",
                  s.sameIndex.left, s.sameIndex.right, s.sameIndex.top, s.sameIndex.bottom,
                  s.sameColour.left, s.sameColour.right, s.sameColour.top, s.sameColour.bottom,
                  s.similarColour.left, s.similarColour.right, s.similarColour.top,
                  s.similarColour.bottom);
    return text;
}

} // namespace gridmint
