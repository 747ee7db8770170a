#pragma once

#include <QRegularExpression>
#include <QString>

// The two ways a lexicon rule rewrites text.
namespace RuleReplacement {

// For a rule whose wrong is plain ASCII: wrong, escaped, where no Latin letter or digit touches
// it on either side. So 'cat' stays inside 'concatenate' and 'cafe' in 'café', while 'vscode' is
// found in '用vscode写' and 'c++' or '.net' next to blanks, Han or punctuation.
QRegularExpression wordPattern(const QString& wrong);

// Every match of pattern replaced by the template right: "$0" (also "$00"...) is the matched
// text and a backslash takes the next character literally; any other "$" is itself. A match that
// already lies inside the expanded right (GPT in "GPT-4" for a rule from GPT to GPT-4) stays.
QString replaceWords(const QString& text, const QRegularExpression& pattern, const QString& right);

// The template expanded for one match.
QString expandTemplate(const QString& replacementTemplate, QStringView match);

// Every occurrence of wrong replaced literally by right. Occurrences are whole user-perceived
// characters and canonically equivalent forms count as equal, so a decomposed 'é' is found by a
// precomposed one and half of a character is never replaced. An occurrence that already lies
// inside an occurrence of right stays.
QString replaceCanonical(const QString& text, const QString& wrong, const QString& right);

// The form of a text in which canonically equivalent texts contain the same substrings.
QString searchKey(const QString& text);

} // namespace RuleReplacement
