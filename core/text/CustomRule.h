#pragma once

#include <QString>

// A personal writing rule: the user describes a habit in their own words and a language model
// distils the description into one short imperative rule. The rules are kept one per line and
// every one of them goes into every styling prompt, so whatever the model answers (an
// explanation after the rule, a numbered list, a long paragraph) must come down to one short
// line.
namespace CustomRule {

// The longest rule kept, in user-perceived characters. The model is asked for at most 20.
inline constexpr qsizetype kMaxLength = 60;

// The rule in a distillation answer, or in the user's own description when the model could not
// be asked: its first line that is not blank, trimmed, cut to kMaxLength characters. Empty when
// the text has no such line.
QString fromAnswer(const QString& answer);

} // namespace CustomRule
