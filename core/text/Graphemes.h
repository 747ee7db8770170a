#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Text lengths the user sees are counted in grapheme clusters (user-perceived characters), never
// in UTF-16 units: an emoji with a modifier, or a letter with a combining mark, is one character.
namespace Graphemes {

qsizetype count(const QString& text);

// The first n user-perceived characters of text (all of it when it has n or fewer).
QString left(const QString& text, qsizetype n);

// The last n user-perceived characters of text.
QString right(const QString& text, qsizetype n);

// The first (last) n user-perceived characters of text, each on its own, in order. Long texts are
// segmented only near the wanted end.
QStringList first(const QString& text, qsizetype n);
QStringList last(const QString& text, qsizetype n);

// The UTF-16 offsets where text's user-perceived characters begin, followed by text.size().
std::vector<qsizetype> boundaries(QStringView text);

// A start (end) of text that holds at least its first (last) n user-perceived characters, or all
// of text, cut where the whole text has a boundary: segmenting the window gives the same
// characters as segmenting everything, at a cost that does not grow with the text.
QStringView firstWindow(QStringView text, qsizetype n);
QStringView lastWindow(QStringView text, qsizetype n);

// Every user-perceived character of text, in order.
QStringList split(const QString& text);

} // namespace Graphemes
