#pragma once

#include <QFont>
#include <QGuiApplication>

#include <cmath>

// The main window's text styles: the desktop font at the sizes of the design, one point of the
// design being one logical pixel here.
namespace ShellFonts {

inline QFont font(qreal size, QFont::Weight weight = QFont::Normal)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(int(std::lround(size)));
    f.setWeight(weight);
    return f;
}

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

} // namespace ShellFonts
