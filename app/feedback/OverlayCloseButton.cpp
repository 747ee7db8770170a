#include "app/feedback/OverlayCloseButton.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QPainter>

OverlayCloseButton::OverlayCloseButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setToolTip(QStringLiteral("关闭"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void OverlayCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    painter.setPen(Qt::NoPen);
    QColor fill = Theme::softAccent();
    if (isDown())
        fill.setAlphaF(std::min(1.0f, fill.alphaF() * 2));
    painter.setBrush(fill);
    painter.drawEllipse(bounds);
    SymbolIcon::paint(painter, QStringLiteral("xmark"), SymbolIcon::box(bounds.center(), 11),
                      Theme::color(Theme::palette().textDim));
}
