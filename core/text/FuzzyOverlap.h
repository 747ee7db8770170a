#pragma once

#include <QStringView>

// Chunks of a long recording overlap by a few seconds, and a recogniser often hears the words at
// a cut a little differently in the two chunks ("下个季度" and "下一个季度", "zoom" and "Zoom"), so
// an exact comparison finds no repeat and the words appear twice. This finds the repeat by
// aligning the end of one transcript with the start of the next, word by word for Latin text and
// character by character otherwise, tolerating a few words heard differently.
namespace FuzzyOverlap {

// Tokens that must match in a repeat, at least, and how many differing tokens each three
// matching ones allow.
inline constexpr int kMinMatches = 4;
inline constexpr int kMatchesPerDifference = 3;

// How many UTF-16 units at the start of b repeat the end of a (looking at no more than the last
// maxLen characters of a and the first maxLen of b); 0 when no such repeat is found. The repeat
// always ends on a token boundary of b.
qsizetype repeatedHead(QStringView a, QStringView b, qsizetype maxLen);

} // namespace FuzzyOverlap
