#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// text as at most two lines of width in font: the first line, and the rest on a second line,
// elided where it does not fit. Lines break between words, or inside a word wider than the line
// (a long address). Nothing for empty text or no width.
QStringList twoLines(const QString& text, const QFont& font, qreal width);
