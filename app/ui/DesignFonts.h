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

// The named text styles of the windows.
inline QFont body(QFont::Weight weight = QFont::Normal)
{
    return font(13, weight);
}
inline QFont callout(QFont::Weight weight = QFont::Normal)
{
    return font(12, weight);
}
inline QFont subheadline()
{
    return font(11);
}
inline QFont caption()
{
    return font(11);
}
inline QFont caption2(QFont::Weight weight = QFont::Normal)
{
    return font(10, weight);
}

} // namespace DesignFonts
