#pragma once

#include <QFont>
#include <QGuiApplication>

#include <cmath>

// Every window draws its texts in the desktop font at the design's fixed sizes; one point of the
// design is one logical pixel here.
namespace DesignFonts {

inline QFont font(qreal size, QFont::Weight weight = QFont::Normal)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(int(std::lround(size)));
    f.setWeight(weight);
    return f;
}

} // namespace DesignFonts
