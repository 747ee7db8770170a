#pragma once

#include <QString>
#include <QStringList>

// Text lengths the user sees are counted in grapheme clusters (user-perceived characters), never
// in UTF-16 units: an emoji with a modifier, or a letter with a combining mark, is one character.
namespace Graphemes {

qsizetype count(const QString& text);

// The first n user-perceived characters of text (all of it when it has n or fewer).
QString left(const QString& text, qsizetype n);

// The last n user-perceived characters of text.
QString right(const QString& text, qsizetype n);

// Every user-perceived character of text, in order.
QStringList split(const QString& text);

} // namespace Graphemes
