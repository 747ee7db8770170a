#include "app/feedback/OverlayRetryButton.h"

#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr qreal symbolSize = 11.5;
constexpr int insetX = 11;
constexpr int buttonHeight = 26;
constexpr int gap = 4;

QFont titleFont()
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(12);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

OverlayRetryButton::OverlayRetryButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setToolTip(QStringLiteral("原地重试"));
    // Told apart from the main window's own "重试" (the hotkeys') by assistive technology.
    setAccessibleName(QStringLiteral("原地重试"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void OverlayRetryButton::setTitle(const QString& title)
{
    if (title == text())
        return;
    setText(title);
    setFixedSize(sizeHint());
    update();
}

QSize OverlayRetryButton::sizeHint() const
{
    const qreal symbol = SymbolIcon::box({}, symbolSize).width();
    const qreal width = insetX * 2 + symbol + gap + QFontMetricsF(titleFont()).horizontalAdvance(text());
    return QSize(int(std::ceil(width)), buttonHeight);
}

void OverlayRetryButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const ThemePalette& p = Theme::palette();
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    QColor fill = Theme::color(p.accent);
    if (isDown())
        fill = fill.darker(115);
    painter.fillPath(capsule, fill);

    const QColor ink = Theme::color(p.onAccent);
    const qreal side = SymbolIcon::box({}, symbolSize).width();
    const QRectF symbol(insetX, (bounds.height() - side) / 2, side, side);
    SymbolIcon::paint(painter, QStringLiteral("arrow.clockwise"), symbol, ink);
    painter.setFont(titleFont());
    painter.setPen(ink);
    painter.drawText(QRectF(symbol.right() + gap, 0, bounds.width() - symbol.right() - gap, bounds.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
}
