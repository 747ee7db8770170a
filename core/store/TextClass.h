#pragma once

#include <QString>

// Character classes the lexicon's rules depend on. They follow Unicode's own properties (through
// ICU) rather than Qt's general categories: an ideographic numeral such as 一 is a letter to Qt
// but a number to Unicode, and a compatibility ideograph is Han although Qt has no such test.
namespace TextClass {

// Unicode White_Space: blanks of every width, the ideographic space U+3000 and all line ends.
bool isWhiteSpace(char32_t c);
// Unicode space separators and the tab: blanks that are not line ends.
bool isSpaceOrTab(char32_t c);
// The Unicode Ideographic property (Han ideographs and their compatibility forms, among others).
bool isIdeographic(char32_t c);
// Numeric_Type other than None: digits of every script, fractions, ideographic numerals.
bool isNumeric(char32_t c);

bool isAsciiLetter(QChar c);
bool isAscii(const QString& text);

// True when any scalar of text is Ideographic.
bool hasHan(const QString& text);
// The first scalar of text, or 0 for an empty text.
char32_t firstScalar(const QString& text);

QString trimWhiteSpace(const QString& text);
QString trimSpacesAndTabs(const QString& text);

// Canonically equivalent texts (a precomposed é and e plus a combining acute) share one key.
QString canonicalKey(const QString& text);
bool canonicallyEqual(const QString& a, const QString& b);

} // namespace TextClass
