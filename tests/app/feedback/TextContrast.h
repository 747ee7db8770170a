#pragma once

#include "app/ui/ContrastRatio.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>

// Legibility of rendered text, measured the way WCAG does (ContrastRatio). Body text needs 4.5.
namespace TextContrast {

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
            best = std::max(best, ContrastRatio::ratio(over, card));
        }
    }
    return best;
}

} // namespace TextContrast
