#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The program's own SVG symbols (resources/icons/<name>.svg), drawn in one colour. The shapes are
// black on transparent; painting keeps their coverage and replaces the colour.
namespace SymbolIcon {

bool exists(const QString& name);

// The square in which a symbol of the given font-like size is drawn, centred on centre.
QRectF box(const QPointF& centre, qreal size);

// Draws the symbol into rect (kept square and centred) in colour; an unknown name draws nothing.
void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color);

} // namespace SymbolIcon
