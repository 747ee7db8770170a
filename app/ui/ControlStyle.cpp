#include "app/ui/ControlStyle.h"

#include "app/ui/ContrastRatio.h"
#include "app/ui/Theme.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QStyleOption>
#include <QTextEdit>

namespace {

constexpr qreal kRadius = 2.0;
constexpr int kSteps = 40;

// colour laid over an opaque background, as the screen shows it.
QColor over(const QColor& colour, const QColor& background)
{
    const QColor opaque = background.toRgb();
    return Theme::mixed(opaque, QColor::fromRgbF(colour.redF(), colour.greenF(), colour.blueF()), colour.alphaF());
}

bool editableText(const QWidget* widget)
{
    if (const auto* edit = qobject_cast<const QTextEdit*>(widget))
        return !edit->isReadOnly();
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(widget))
        return !edit->isReadOnly();
    return false;
}

void outline(QPainter* painter, const QRect& rect)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(ControlStyle::boundary(), 1));
    painter->drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter->restore();
}

} // namespace

QColor ControlStyle::boundary()
{
    // The faintest blend of the card towards the text that is still clear on both surfaces.
    const ThemePalette& skin = Theme::palette();
    const QColor background = over(Theme::color(skin.bg), Qt::black);
    const QColor card = over(Theme::color(skin.bgCard), background);
    const QColor ink = over(Theme::color(skin.text), card);
    for (int step = 1; step <= kSteps; ++step) {
        const QColor candidate = Theme::mixed(card, ink, qreal(step) / kSteps);
        if (ContrastRatio::ratio(candidate, card) >= minimumContrast &&
            ContrastRatio::ratio(candidate, background) >= minimumContrast)
            return candidate;
    }
    return ink;
}

void ControlStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const bool focused = option->state & State_HasFocus;
    switch (element) {
    case PE_IndicatorCheckBox:
        outline(painter, option->rect);
        break;
    case PE_FrameLineEdit:
        if (!focused)
            outline(painter, option->rect);
        break;
    case PE_Frame:
        if (!focused && editableText(widget))
            outline(painter, option->rect);
        break;
    default:
        break;
    }
}

void ControlStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                      const QWidget* widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox && !(option->state & State_HasFocus))
        outline(painter, option->rect);
}
