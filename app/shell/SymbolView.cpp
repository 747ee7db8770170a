#include "app/shell/SymbolView.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QPainter>

#include <cmath>

SymbolView::SymbolView(const QString& icon, Role colour, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_icon(icon)
    , m_colour(colour)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setLook(const QString& icon, Role colour)
{
    m_icon = icon;
    m_colour = colour;
    update();
}

QSize SymbolView::sizeHint() const
{
    const int side = int(std::ceil(m_size * 1.2));
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(painter, m_icon, SymbolIcon::box(QRectF(rect()).center(), m_size),
                      Theme::color(Theme::palette().*m_colour));
}
