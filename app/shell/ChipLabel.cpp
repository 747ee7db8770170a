#include "app/shell/ChipLabel.h"

#include <QPainter>
#include <QPainterPath>

ChipLabel::ChipLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setContentsMargins(8, 2, 8, 2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ChipLabel::setColours(const QColor& text, const QColor& fill)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, text);
    setPalette(colours);
    m_fill = fill;
    update();
}

void ChipLabel::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF capsule(rect());
        QPainterPath shape;
        shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        painter.fillPath(shape, m_fill);
    }
    QLabel::paintEvent(event);
}
