#include "desktop/HoldKey.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

namespace gridmint {

HoldKey::HoldKey(QWidget* window, int key, std::function<void(bool)> held)
    : window_(window), key_(key), held_(std::move(held))
{
    qApp->installEventFilter(this);
}

HoldKey::~HoldKey()
{
    qApp->removeEventFilter(this);
}

bool HoldKey::ours(QObject* watched) const
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_ ||
        QApplication::activePopupWidget() != nullptr) {
        return false;
    }
    if (qobject_cast<QLineEdit*>(widget) != nullptr ||
        qobject_cast<QAbstractSpinBox*>(widget) != nullptr) {
        return false;
    }
    const auto* combo = qobject_cast<QComboBox*>(widget);
    return combo == nullptr || !combo->isEditable();
}

void HoldKey::set(bool down)
{
    if (down_ != down) {
        down_ = down;
        held_(down);
    }
}

bool HoldKey::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Auto-repeat sends press and release pairs while the key stays
        // down; only the real ones count.
        const bool real = key->key() == key_ && !key->isAutoRepeat();
        if (real && type == QEvent::KeyRelease) {
            set(false); // wherever the focus went meanwhile
        }
        if (key->key() == key_ && key->modifiers() == Qt::NoModifier && ours(watched)) {
            if (real && type == QEvent::KeyPress) {
                set(true);
            }
            return true; // not a click on whichever button has the focus
        }
    } else if (type == QEvent::WindowDeactivate && watched == window_) {
        // The release goes to another window now.
        set(false);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace gridmint
