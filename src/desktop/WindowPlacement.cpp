#include "desktop/WindowPlacement.h"

#include <QDataStream>
#include <algorithm>

namespace gridmint {

QSize FittedWindowSize(const QRect& available, QSize frameExtra)
{
    const QSize room = available.size() - frameExtra;
    return {std::clamp(room.width(), kMinimumWindowSize.width(), kUsualWindowSize.width()),
            std::clamp(room.height(), kMinimumWindowSize.height(), kUsualWindowSize.height())};
}

bool SavedGeometryFits(const QByteArray& saved, const QList<QRect>& available)
{
    // QWidget::saveGeometry's record starts with a magic number, a version
    // and the frame and normal geometries; only those are read here.
    QDataStream stream(saved);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    QRect frame;
    QRect normal;
    stream >> magic >> major >> minor >> frame >> normal;
    if (stream.status() != QDataStream::Ok || magic != 0x1D9D0CB || major < 1 || major > 3 ||
        !normal.isValid()) {
        return false;
    }
    return std::any_of(available.begin(), available.end(),
                       [&](const QRect& area) { return area.contains(normal); });
}

} // namespace gridmint
