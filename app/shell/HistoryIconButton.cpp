#include "app/shell/HistoryIconButton.h"

#include "app/ui/PressableIconStyle.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

HistoryIconButton::HistoryIconButton(const QString& icon, const QString& help, Role tint, QWidget* parent)
    : QAbstractButton(parent)
    , m_icon(icon)
    , m_tint(tint)
    , m_pressable(new PressableIconStyle(this))
{
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(side, side);
}

void HistoryIconButton::setLook(const QString& icon, const QString& help, Role tint)
{
    m_icon = icon;
    m_tint = tint;
    setToolTip(help);
    setAccessibleName(help);
    update();
}

QSize HistoryIconButton::sizeHint() const
{
    return {side, side};
}

void HistoryIconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(rect());
    if (m_hovering) {
        QPainterPath shape;
        shape.addRoundedRect(square, cornerRadius, cornerRadius);
        painter.fillPath(shape, Theme::color(Theme::palette().hairline));
    }
    painter.save();
    m_pressable->apply(painter, square);
    SymbolIcon::paint(painter, m_icon, SymbolIcon::box(square.center(), symbolSize),
                      Theme::color(Theme::palette().*m_tint));
    painter.restore();
}

void HistoryIconButton::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void HistoryIconButton::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}
