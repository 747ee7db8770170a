#include "app/ui/MurmoCardModifier.h"

#include "app/ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// Without a blur behind the window, the "material" look is the card colour let partly through.
constexpr qreal materialOpacity = 0.78;
} // namespace

MurmoCardModifier::MurmoCardModifier(bool darkScheme)
    : m_dark(darkScheme)
{}

bool MurmoCardModifier::solid() const
{
    const ThemePalette& p = Theme::palette();
    return m_dark ? p.solidCardDark : p.solidCardLight;
}

void MurmoCardModifier::paint(QPainter& painter, const QRectF& card) const
{
    const ThemePalette& p = Theme::palette();
    QPainterPath shape;
    shape.addRoundedRect(card, cornerRadius, cornerRadius);

    QColor fill = p.bgCard.color(m_dark);
    if (!solid())
        fill.setAlphaF(fill.alphaF() * float(materialOpacity));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, fill);
    QPen outline(p.hairline.color(m_dark), 0.5);
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}
