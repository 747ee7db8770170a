#pragma once

#include "app/ui/Theme.h"

#include <QAbstractButton>

// The small buttons of the banners, sheets and cards in the skin's colours, so a dark skin does
// not show the desktop's light buttons (nor a light box behind a text button under the pointer).
namespace ShellButtons {

inline void applyTheme(QAbstractButton* button)
{
    const ThemePalette& palette = Theme::palette();
    QPalette colours = button->palette();
    const QColor face = Theme::mixed(Theme::color(palette.bgCard), Theme::color(palette.text), 0.06);
    colours.setColor(QPalette::Button, face);
    colours.setColor(QPalette::ButtonText, Theme::color(palette.text));
    colours.setColor(QPalette::Light, face.lighter(110));
    colours.setColor(QPalette::Midlight, face);
    colours.setColor(QPalette::Mid, Theme::color(palette.hairline));
    colours.setColor(QPalette::Dark, Theme::color(palette.hairline));
    colours.setColor(QPalette::Shadow, Theme::color(palette.hairline));
    button->setPalette(colours);
}

} // namespace ShellButtons
