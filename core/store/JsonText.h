#pragma once

#include <QByteArray>
#include <QStringView>

// JSON text written straight into a buffer, byte for byte as QJsonDocument writes it in its
// compact form, without building a document: a lexicon of a million words is saved in a fraction
// of the time and memory a tree of values would take.
namespace JsonText {

// text as a quoted JSON string: '"' and '\' escaped, the ASCII controls written as \b, \f, \n, \r,
// \t or \u00xx, everything else as UTF-8; a lone surrogate is written as its \uxxxx escape.
void appendString(QByteArray& out, QStringView text);

// A double as the encoder writes it: a whole number up to 2^53 with all its digits, any other as the
// shortest text that reads back as the same number, null when it is not finite.
void appendNumber(QByteArray& out, double number);

} // namespace JsonText
