#include "app/ui/CapsuleButton.h"

#include "app/ui/Theme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

CapsuleButton::CapsuleButton(const QString& text, Look look, QWidget* parent)
    : QAbstractButton(parent)
    , m_look(look)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void CapsuleButton::setChosen(bool chosen)
{
    if (m_chosen == chosen)
        return;
    m_chosen = chosen;
    updateGeometry();
    update();
}

QColor CapsuleButton::fillColor() const
{
    const ThemePalette& palette = Theme::palette();
    if (!m_chosen)
        return Theme::color(palette.text, m_look == Look::Solid ? 0.06 : 0.05, m_look == Look::Solid ? 0.06 : 0.05);
    return m_look == Look::Solid ? Theme::color(palette.accent) : Theme::softAccent();
}

QColor CapsuleButton::textColor() const
{
    const ThemePalette& palette = Theme::palette();
    if (!m_chosen)
        return Theme::color(palette.textDim);
    return Theme::color(m_look == Look::Solid ? palette.onAccent : palette.accent);
}

QColor CapsuleButton::borderColor() const
{
    if (m_chosen && m_look == Look::Soft)
        return Theme::color(Theme::palette().accent);
    return Qt::transparent;
}

QFont CapsuleButton::labelFont() const
{
    QFont font = this->font();
    font.setPixelSize(12);
    font.setWeight(m_chosen ? QFont::DemiBold : QFont::Normal);
    return font;
}

QMargins CapsuleButton::padding() const
{
    return m_look == Look::Solid ? QMargins(11, 4, 11, 4) : QMargins(12, 5, 12, 5);
}

QSize CapsuleButton::sizeHint() const
{
    // Measured semibold, so choosing a capsule does not shift its neighbours.
    QFont bold = labelFont();
    bold.setWeight(QFont::DemiBold);
    const QFontMetrics metrics(bold);
    const QMargins pad = padding();
    return {metrics.horizontalAdvance(text()) + pad.left() + pad.right(), metrics.height() + pad.top() + pad.bottom()};
}

void CapsuleButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = box.height() / 2;
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    painter.fillPath(path, fillColor());
    if (borderColor().alpha() > 0) {
        painter.setPen(QPen(borderColor(), 1));
        painter.drawPath(path);
    }
    if (hasFocus()) {
        painter.setPen(QPen(Theme::color(Theme::palette().accent), 1, Qt::DotLine));
        painter.drawPath(path);
    }
    painter.setFont(labelFont());
    painter.setPen(textColor());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
