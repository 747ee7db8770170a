#include "app/feedback/QtOverlayScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

QList<QRect> QtOverlayScreens::availableGeometries() const
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}

std::optional<QRect> QtOverlayScreens::activeAvailableGeometry() const
{
    if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen->availableGeometry();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->availableGeometry();
    return std::nullopt;
}
