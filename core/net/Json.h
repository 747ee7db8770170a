#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

// The JSON a service sent, parsed, with every string in it made valid UTF-16 (ValidUtf16) and
// cleared of control characters (withoutControls): a "\u0000", a terminal escape or a
// right-to-left override from a service would otherwise reach the history and the cursor as it
// came. error as QJsonDocument::fromJson sets it.
QJsonDocument serviceJson(const QByteArray& bytes, QJsonParseError* error = nullptr);

// serviceJson, or JsonError with the parser's complaint.
QJsonDocument parseJsonDocument(const QByteArray& bytes);

// text without the control characters U+0000 to U+001F other than tab and newline, U+007F to
// U+009F, and the bidirectional controls U+202A to U+202E and U+2066 to U+2069; text itself, not a
// copy, when there is none.
QString withoutControls(const QString& text);

// A request body: compact, in the serialiser's own key order.
QByteArray compactJson(const QJsonObject& object);
