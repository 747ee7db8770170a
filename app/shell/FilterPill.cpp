#include "app/shell/FilterPill.h"

#include "app/ui/DesignFonts.h"
#include "app/ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int insetX = 11;
constexpr int insetY = 4;
constexpr int gap = 5;

QFont countFont()
{
    return DesignFonts::font(10, QFont::Medium);
}

} // namespace

FilterPill::FilterPill(const QString& title, std::optional<QString> action, QWidget* parent)
    : QAbstractButton(parent)
    , m_action(std::move(action))
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QString FilterPill::countText() const
{
    return m_count >= 1 ? QString::number(m_count) : QString();
}

void FilterPill::setState(bool selected, int count)
{
    if (selected == m_selected && count == m_count)
        return;
    m_selected = selected;
    m_count = count;
    updateGeometry();
    update();
}

QFont FilterPill::titleFont() const
{
    return DesignFonts::font(12, m_selected ? QFont::DemiBold : QFont::Normal);
}

QSize FilterPill::sizeHint() const
{
    const QFontMetrics title(titleFont());
    int width = title.horizontalAdvance(text());
    if (!countText().isEmpty())
        width += gap + QFontMetrics(countFont()).horizontalAdvance(countText());
    return {width + 2 * insetX, title.height() + 2 * insetY};
}

void FilterPill::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule(rect());
    QPainterPath shape;
    shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(shape, m_selected ? Theme::color(palette.accent) : Theme::color(palette.text, 0.06, 0.06));

    const QSize hint = sizeHint();
    qreal x = (width() - hint.width()) / 2.0 + insetX;
    painter.setFont(titleFont());
    painter.setPen(Theme::color(m_selected ? palette.onAccent : palette.textDim));
    const qreal titleWidth = QFontMetricsF(titleFont()).horizontalAdvance(text());
    painter.drawText(QRectF(x, 0, titleWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    if (countText().isEmpty())
        return;
    x += titleWidth + gap;
    painter.setFont(countFont());
    painter.setPen(m_selected ? Theme::color(palette.onAccent, 0.85, 0.85) : Theme::color(palette.textFaint));
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, countText());
}
