#pragma once

#include "app/ui/ThemePalette.h"

#include <QColor>
#include <QLinearGradient>
#include <QRectF>
#include <QString>

// The process-wide theme state: the current skin and the appearance (light or dark) in effect.
// Main thread only. Views read both every time they paint; nothing observes them, so whoever
// changes them asks the views to repaint. It stays a global on purpose: every painted widget,
// down to the smallest button, needs the colours, and none of them has a path to the
// application object that owns the choice.
namespace Theme {

const ThemePalette& palette();
void setPalette(const ThemePalette& palette);

bool isDark();
void setDark(bool dark);

// A role of the current skin resolved for the current appearance.
QColor color(const ColorPair& pair);
QColor color(const ColorPair& pair, qreal alphaLight, qreal alphaDark);
// The accent at the skin's soft-fill opacities.
QColor softAccent();

// The symbol drawn for the translate action.
QString translateIcon();

// The white rim that outlines the glass surfaces, from the top edge of rect to its bottom edge.
QLinearGradient glassRim(const QRectF& rect);

// A straight blend in sRGB from `from` towards `to`; t is clamped to 0...1. The result is a
// fixed colour, no longer following the appearance.
QColor mixed(const QColor& from, const QColor& to, qreal t);

} // namespace Theme
