// Where the main window opens: the usual size cut to the screen, or the
// place it had at the last exit when that still fits a screen.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSize>

namespace gridmint {

// The window's size on a first start, frame excluded.
inline constexpr QSize kUsualWindowSize(1024, 720);
// Below this the tool strip needs more than three rows and the image view
// has no room left beside the palette pane.
inline constexpr QSize kMinimumWindowSize(480, 360);

// The usual size, made small enough that the window with its frame (title
// bar and borders, `frameExtra` in total) stays inside `available`.
QSize FittedWindowSize(const QRect& available, QSize frameExtra);

// True when the normal (not maximised) geometry recorded in `saved` (from
// QWidget::saveGeometry) lies inside one of the `available` areas. A record
// in a format this program does not know counts as not fitting.
bool SavedGeometryFits(const QByteArray& saved, const QList<QRect>& available);

} // namespace gridmint
