#pragma once

#include <QMargins>
#include <QRectF>

class QPainter;

// The card look of the history window's entries and similar cards: a rounded card with a
// hairline outline, solid or see-through depending on the skin and the appearance.
class MurmoCardModifier
{
public:
    explicit MurmoCardModifier(bool darkScheme);

    // Whether the card is filled with the opaque card colour rather than the see-through one.
    bool solid() const;
    // The inset between the card's edge and its content.
    static QMargins contentMargins() { return QMargins(16, 14, 16, 14); }
    static constexpr qreal cornerRadius = 14.0;

    void paint(QPainter& painter, const QRectF& card) const;

private:
    bool m_dark;
};
