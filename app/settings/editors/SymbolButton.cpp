#include "app/settings/editors/SymbolButton.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QPainter>

namespace {

constexpr int kSide = 22;
constexpr qreal kSymbolSize = 14;

} // namespace

SymbolButton::SymbolButton(const QString& symbol, Role role, const QString& toolTip, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_role(role)
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
    const ThemePalette& palette = Theme::palette();
    QColor colour = Theme::color(m_role == Role::Destructive ? palette.red : palette.textDim);
    if (isDown())
        colour.setAlphaF(colour.alphaF() * 0.55);
    if (!isEnabled())
        colour.setAlphaF(colour.alphaF() * 0.4);
    SymbolIcon::paint(painter, m_symbol, SymbolIcon::box(QRectF(rect()).center(), kSymbolSize), colour);
}
