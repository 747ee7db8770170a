#include "app/settings/editors/SymbolButton.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QPainter>

namespace {

constexpr int kSide = 22;
constexpr qreal kSymbolSize = 14;

} // namespace

SymbolButton::SymbolButton(const QString& symbol, const QString& toolTip, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
{
    setToolTip(toolTip);
    setAccessibleName(toolTip);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QSize SymbolButton::sizeHint() const
{
    return {kSide, kSide};
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor colour = Theme::color(Theme::palette().textDim);
    if (isDown())
        colour.setAlphaF(colour.alphaF() * 0.55);
    if (!isEnabled())
        colour.setAlphaF(colour.alphaF() * 0.4);
    SymbolIcon::paint(painter, m_symbol, SymbolIcon::box(QRectF(rect()).center(), kSymbolSize), colour);
}
