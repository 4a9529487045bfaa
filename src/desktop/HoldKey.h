// A key that does something only while it is held down, in one window:
// pressed, `held(true)`; released, or the window loses the keyboard while
// it is down, `held(false)`. Watches the whole application, since the key
// belongs to the window whichever of its widgets has the focus, except
// where the key is text: in line edits, spin boxes and editable combo
// boxes, and while a menu or another window is up.
#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace gridmint {

class HoldKey : public QObject {
public:
    HoldKey(QWidget* window, int key, std::function<void(bool)> held);
    ~HoldKey() override;
    HoldKey(const HoldKey&) = delete;
    HoldKey& operator=(const HoldKey&) = delete;

    bool isHeld() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ours(QObject* watched) const;
    void set(bool down);

    QWidget* window_;
    int key_;
    std::function<void(bool)> held_;
    bool down_ = false;
};

} // namespace gridmint
