// The mouse tools in the image view: which document edit a press, drag,
// release or right press makes for the tool chosen in the tool panel, and the
// view's feedback (corner marker, line previews, zoom by click). Positions
// come in zoomed-image coordinates and are divided by the display zoom here.
// Everything from a press to its release is one stroke, one undo step; the
// brushes and dots paint the whole way between two pointer events.
#pragma once

#include "app/ScaleDocument.h"

#include <functional>

namespace gridmint {

class CGridmintView;
class CPaletteToolView;
class CTopPanelView;

class ToolStrokes {
public:
    // All four must outlive the strokes. `strokeEnded` runs after every
    // release, when the document may hold a new step.
    ToolStrokes(ScaleDocument& document, CTopPanelView& panel, CGridmintView& view,
                CPaletteToolView& palettes, std::function<void()> strokeEnded);

    void Press(int x, int y);
    void Drag(int x, int y);
    void Release(int x, int y);
    void RightPress(int x, int y);
    // Starts the corner tool over and clears the view's tool feedback.
    void ToolChanged();

    // Corner tool: 0 next press sets the first point, odd sets the anchor,
    // even and above 0 drags cut the corner.
    int cornerClicks() const { return clickCounter_; }

private:
    int displayZoom() const;
    // The nearest and auto brushes and the dots from the previous pointer
    // position to this one (result pixels).
    void paintBrush(int rx, int ry);
    void plotDot(int rx, int ry);
    void repaintView();

    ScaleDocument& document_;
    CTopPanelView& panel_;
    CGridmintView& view_;
    CPaletteToolView& palettes_;
    std::function<void()> strokeEnded_;
    int clickCounter_ = 0;
    Point last_; // the previous pointer position of the stroke
};

} // namespace gridmint
