#include "app/feedback/AnswerActionButton.h"

#include "app/ui/DesignFonts.h"
#include "app/ui/SymbolIcon.h"
#include "app/ui/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
constexpr qreal symbolSize = 11;
constexpr qreal spacing = 5;
constexpr qreal padX = 12;
constexpr qreal padY = 7;

QFont titleFont()
{
    return DesignFonts::font(12, QFont::Medium);
}
} // namespace

AnswerActionButton::AnswerActionButton(QWidget* parent)
    : QAbstractButton(parent)
{
    // A click must not pull the keyboard focus into the card: the answer goes to the field the
    // user was typing in.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void AnswerActionButton::setLook(Look look)
{
    if (look == m_look)
        return;
    m_look = look;
    updateGeometry();
    update();
}

QString AnswerActionButton::title() const
{
    switch (m_look) {
    case Look::insert:
        return QStringLiteral("插入到光标处");
    case Look::inserted:
        return QStringLiteral("已插入");
    case Look::copiedInstead:
        return QStringLiteral("已复制 · 按 Ctrl+V 粘贴");
    }
    return {};
}

QString AnswerActionButton::symbolName() const
{
    switch (m_look) {
    case Look::insert:
        return QStringLiteral("text.insert");
    case Look::inserted:
        return QStringLiteral("checkmark");
    case Look::copiedInstead:
        return QStringLiteral("doc.on.doc");
    }
    return {};
}

QSize AnswerActionButton::sizeHint() const
{
    const QFontMetricsF metrics(titleFont());
    const qreal width = padX + symbolSize + spacing + metrics.horizontalAdvance(title()) + padX;
    const qreal height = padY + std::max(symbolSize, metrics.height()) + padY;
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void AnswerActionButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ThemePalette& palette = Theme::palette();
    const QRectF bounds(rect());

    QColor fill = Theme::color(palette.violet);
    fill.setAlphaF(isDown() ? 0.24f : 0.14f);
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    painter.fillPath(capsule, fill);

    const QColor tint = Theme::color(m_look == Look::insert ? palette.violet : palette.green);
    const QPointF symbolCentre(padX + symbolSize / 2, bounds.center().y());
    SymbolIcon::paint(painter, symbolName(), SymbolIcon::box(symbolCentre, symbolSize), tint);
    painter.setFont(titleFont());
    painter.setPen(tint);
    const QRectF textRect(padX + symbolSize + spacing, 0, bounds.width() - padX - symbolSize - spacing,
                          bounds.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, title());
}
