#include "app/ui/ThemeAppearance.h"

#include "app/ui/Theme.h"
#include "platform/Appearance.h"

#include <QApplication>
#include <QWidget>

ThemeAppearance::ThemeAppearance(Appearance& appearance, QObject* parent)
    : QObject(parent)
    , m_appearance(&appearance)
{
    Theme::setDark(appearance.isDark());
    connect(&appearance, &Appearance::darkChanged, this, &ThemeAppearance::apply);
}

void ThemeAppearance::apply(bool dark)
{
    if (dark == Theme::isDark())
        return;
    Theme::setDark(dark);
    for (QWidget* window : QApplication::topLevelWidgets())
        window->update();
    Q_EMIT changed(dark);
}
