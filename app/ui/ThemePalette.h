#pragma once

#include "app/ui/ColorPair.h"

#include <QList>
#include <QString>

// A skin: every colour role the views draw with, each as a light/dark pair. Four skins are built
// in; the user's choice is stored by id in the setting "skinId".
struct ThemePalette
{
    struct AlphaPair
    {
        qreal light = 1.0;
        qreal dark = 1.0;
        friend bool operator==(const AlphaPair&, const AlphaPair&) = default;
    };

    QString id;
    QString name;
    ColorPair bg;
    ColorPair bgCard;
    ColorPair bgSub;
    ColorPair text;
    ColorPair textDim;
    ColorPair textFaint;
    ColorPair accent;
    AlphaPair accentSoftAlpha;
    ColorPair onAccent;
    ColorPair gold;
    ColorPair goldBright;
    ColorPair goldSheen;
    ColorPair teal;
    ColorPair tealBright;
    ColorPair violet;
    ColorPair violetBright;
    ColorPair green;
    ColorPair red;
    ColorPair warn;
    ColorPair hairline;
    bool solidCardLight = false;
    bool solidCardDark = false;

    static const ThemePalette& native();
    static const ThemePalette& xuan();
    static const ThemePalette& celadon();
    static const ThemePalette& zhupi();

    // In the order the skin picker shows them.
    static const QList<ThemePalette>& all();
    // Exact, case-sensitive match; any unknown id gives xuan.
    static const ThemePalette& byId(const QString& id);

    friend bool operator==(const ThemePalette&, const ThemePalette&) = default;
};
