#pragma once

#include <QString>
#include <QStringList>

// Checks on what the language model answered, against the text that was sent to it. Models
// sometimes answer a short or empty dictation with a request for the text or an offer to help;
// inserting that at the user's cursor would be worse than inserting the unstyled text.
namespace AnswerGuards {

// Phrases of such non-answers, in the order they are looked for.
extern const QStringList refusalMarkers;

// An answer shorter than this that contains a refusal marker is taken for a refusal.
inline constexpr qsizetype kRefusalMaxLength = 80;

// The answer, or sent in its place when the answer is blank while sent is not, or when the
// first refusal marker found in the answer is not in sent and the answer is short.
QString guard(const QString& answer, const QString& sent);

// text without any trailing "。" and "." characters.
QString withoutTrailingPeriods(const QString& text);

} // namespace AnswerGuards
