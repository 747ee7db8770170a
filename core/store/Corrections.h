#pragma once

#include "core/store/CorrectionPair.h"

#include <QList>
#include <QString>
#include <QStringList>

// Learning word-level replacements from a text and the user's corrected version of it. Han text
// is compared character by character, Latin text word by word.
namespace Corrections {

// Words of ASCII letters, and every other character (Han, digits, punctuation, accented
// letters) on its own; white space separates tokens and is dropped.
QStringList tokenize(const QString& text);

// The changed runs, in text order, as (wrong from original, right from corrected). Pure
// insertions and deletions give nothing, nor do runs of very different lengths or longer than
// 20 characters. No validity test is applied: a pair may still be refused by isBadRule.
QList<CorrectionPair> extract(const QString& original, const QString& corrected);

// True when a rule from wrong to right must not be stored: empty or equal sides, a single Han
// character, and Chinese rules that are long, carry punctuation or share no Han character.
bool isBadRule(const QString& wrong, const QString& right);

// True for a short common English word (articles, pronouns, prepositions, auxiliaries), in any
// letter case. Learnt from one correction, such a word would become a rule that rewrites every
// later sentence ("a cat" corrected to "the cat" would turn every "a" into "the").
bool isCommonLatinWord(const QString& text);

// Pairs of texts up to this many alignment table cells (after the common ends are set aside) are
// aligned through the whole table; longer ones in linear memory, with the same kind of result.
inline constexpr qsizetype kMaxTableCells = 4'000'000;
// Aligning takes time in proportion to the token counts multiplied: beyond this many cells the
// texts are too far apart to learn word-level rules from on the caller's thread.
inline constexpr qsizetype kMaxAlignedCells = 64'000'000;

} // namespace Corrections
