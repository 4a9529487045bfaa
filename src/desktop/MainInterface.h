// The frame's two mouse entry points for the image view. The view reaches
// them through its press and drag signals; x and y are zoomed-image
// coordinates (viewport position plus scroll offset).
#pragma once

namespace gridmint {

class MainInterface {
public:
    virtual void OnViewPress(int x, int y) = 0;
    virtual void OnViewDrag(int x, int y) = 0;

protected:
    ~MainInterface() = default;
};

} // namespace gridmint
