#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cmath>

// Legibility of rendered text, measured the way WCAG does: the contrast ratio between the
// relative luminances of two sRGB colours, 1 (none) to 21 (black on white). Body text needs 4.5.
namespace TextContrast {

inline double relativeLuminance(const QColor& colour)
{
    auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor c = colour.toRgb();
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

inline double ratio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast against card that any pixel of the render shows inside area, each
// pixel first laid over the opaque card (see-through glass shows the card's own colour behind
// it). Glyph stems reach the full ink colour, so this is the contrast of the text drawn there.
inline double strongestAgainst(const QImage& render, const QRect& area, QColor card)
{
    card.setAlphaF(1.0f);
    const QImage image = render.convertToFormat(QImage::Format_ARGB32);
    double best = 1.0;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor px = QColor::fromRgba(image.pixel(x, y));
            const float a = px.alphaF();
            const QColor over =
                QColor::fromRgbF(px.redF() * a + card.redF() * (1 - a), px.greenF() * a + card.greenF() * (1 - a),
                                 px.blueF() * a + card.blueF() * (1 - a));
            best = std::max(best, ratio(over, card));
        }
    }
    return best;
}

} // namespace TextContrast
