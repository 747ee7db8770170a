#pragma once

#include <QFont>
#include <QGuiApplication>

#include <cmath>

// The capsule's texts use the desktop font at fixed sizes; one point of the design is one logical
// pixel here.
namespace OverlayFonts {

inline QFont font(qreal size, QFont::Weight weight = QFont::Normal)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(int(std::lround(size)));
    f.setWeight(weight);
    return f;
}

} // namespace OverlayFonts
