#pragma once

#include <QRegularExpression>
#include <QString>

// The two ways a lexicon rule rewrites text.
namespace RuleReplacement {

// For a rule whose wrong is plain ASCII: wrong, escaped, between word boundaries. Word
// characters are letters of every script (Han ideographs included), combining marks, decimal
// digits and connector punctuation, so 'cat' stays inside 'concatenate', 'vscode' stays in
// '用vscode写', and 'cafe' does not match the start of a decomposed 'café'.
QRegularExpression wordPattern(const QString& wrong);

// Every match of pattern replaced by the template right: "$0" (also "$00"...) is the matched
// text and a backslash takes the next character literally; any other "$" is itself.
QString replaceWords(const QString& text, const QRegularExpression& pattern, const QString& right);

// The template expanded for one match.
QString expandTemplate(const QString& replacementTemplate, QStringView match);

// Every occurrence of wrong replaced literally by right. Occurrences are whole user-perceived
// characters and canonically equivalent forms count as equal, so a decomposed 'é' is found by a
// precomposed one and half of a character is never replaced.
QString replaceCanonical(const QString& text, const QString& wrong, const QString& right);

// The form of a text in which canonically equivalent texts contain the same substrings.
QString searchKey(const QString& text);

} // namespace RuleReplacement
