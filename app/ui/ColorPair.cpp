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

QColor ColorPair::light() const
{
    if (m_semantic == Semantic::None)
        return m_light;
    const QPalette palette = QGuiApplication::palette();
    QColor c;
    switch (m_semantic) {
    case Semantic::Label:
        return palette.color(QPalette::Active, QPalette::WindowText);
    case Semantic::SecondaryLabel:
        // The desktop has no secondary text role; a faded label reads the same way.
        c = palette.color(QPalette::Active, QPalette::WindowText);
        c.setAlphaF(0.6f);
        return c;
    case Semantic::TertiaryLabel:
        c = palette.color(QPalette::Active, QPalette::WindowText);
        c.setAlphaF(0.3f);
        return c;
    case Semantic::ControlAccent:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case Semantic::None:
        break;
    }
    return m_light;
}

QColor ColorPair::dark() const
{
    return isSemantic() ? light() : m_dark;
}

QColor ColorPair::color(bool darkAppearance) const
{
    if (isSemantic())
        return light();
    return darkAppearance ? m_dark : m_light;
}

QColor ColorPair::color(qreal alphaLight, qreal alphaDark, bool darkAppearance) const
{
    QColor c = color(darkAppearance);
    c.setAlphaF(float(isSemantic() || !darkAppearance ? alphaLight : alphaDark));
    return c;
}
