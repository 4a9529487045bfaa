#pragma once

namespace gridmint {

// What the left and right mouse buttons do in the image view.
enum ToolMode : int {
    ToolNearest = 0,      // paint back plain blocks
    ToolAuto = 1,         // paint back the engine's result
    ToolDiagonal = 2,     // line preview only; its button stays hidden
    ToolDiagonalLine = 3, // thin 45-degree line
    ToolCorner = 4,       // cut a corner into a slope
    ToolDot = 5,          // plot dots, right button picks a colour
    ToolZoom = 6,         // zoom in (left) and out (right)
};

} // namespace gridmint
