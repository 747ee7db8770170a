#include "app/ui/ColorPair.h"

#include <QGuiApplication>
#include <QPalette>

ColorPair::ColorPair(QColor light, QColor dark)
    : m_light(light)
    , m_dark(dark)
{}

ColorPair ColorPair::semantic(Semantic role)
{
    ColorPair pair;
    pair.m_semantic = role;
    return pair;
}

QColor ColorPair::color(bool darkAppearance) const
{
    if (isSemantic())
        return semanticColor(darkAppearance);
    return darkAppearance ? m_dark : m_light;
}

QColor ColorPair::semanticColor(bool darkAppearance) const
{
    const QPalette palette = QGuiApplication::palette();
    const bool paletteIsDark = palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5;
    const QColor label = paletteIsDark == darkAppearance ? palette.color(QPalette::Active, QPalette::WindowText)
                                                         : QColor(darkAppearance ? Qt::white : Qt::black);
    QColor c = label;
    switch (m_semantic) {
    case Semantic::Label:
        return label;
    case Semantic::SecondaryLabel:
        // The desktop has no secondary text role; a faded label reads the same way.
        c.setAlphaF(0.6f);
        return c;
    case Semantic::TertiaryLabel:
        c.setAlphaF(0.3f);
        return c;
    case Semantic::ControlAccent:
        // An accent reads on light and dark cards alike, whichever palette it comes from.
        return palette.color(QPalette::Active, QPalette::Highlight);
    case Semantic::None:
        break;
    }
    return darkAppearance ? m_dark : m_light;
}

QColor ColorPair::color(qreal alphaLight, qreal alphaDark, bool darkAppearance) const
{
    QColor c = color(darkAppearance);
    c.setAlphaF(float(isSemantic() || !darkAppearance ? alphaLight : alphaDark));
    return c;
}
