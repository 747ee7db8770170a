#pragma once

#include <QJsonDocument>
#include <QJsonParseError>
#include <QString>

// Text from outside (a service's JSON answer) may carry a lone UTF-16 surrogate: JSON lets
// "\ud800" stand on its own. Such text breaks every regular-expression search over it (PCRE
// refuses invalid UTF-16), so it is repaired where it comes in.
namespace ValidUtf16 {

// text with every surrogate that is not part of a pair replaced by U+FFFD; text itself, not a
// copy, when there is none.
QString repaired(const QString& text);

// The document with every string in it (keys included) repaired.
QJsonDocument repaired(const QJsonDocument& document);

// QJsonDocument::fromJson with the strings repaired.
QJsonDocument fromJson(const QByteArray& bytes, QJsonParseError* error);

} // namespace ValidUtf16
