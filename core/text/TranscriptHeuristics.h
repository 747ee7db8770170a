#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class HotwordMatcher;

// Pure repairs for what speech recognition typically gets wrong here: chunk transcripts that
// repeat their overlapping audio, the recognition vocabulary read back as if it had been spoken,
// text with nothing but punctuation, and short plain Chinese replies that need no language model.
//
// A "character" is a user-perceived character (grapheme cluster). Comparisons treat canonically
// equivalent text as equal; "trimmed" removes Unicode white space and line ends (U+3000 too);
// lower-casing is the full Unicode mapping without a locale. Safe to call from any thread.
namespace TranscriptHeuristics {

// Filler words and self-correction signals: a text containing any of them is not "clean".
extern const QStringList fillers;
extern const QStringList correctionSignals;

// Header lines a recogniser echoes when it reads back its vocabulary.
extern const QStringList vocabularyHeaders;
// The markers of such an echo, in normalizeEcho form.
extern const QStringList echoMarkers;

// The length, in characters, of the longest run that ends a and starts b, looking at no more than
// the last maxLen characters of a and the first maxLen of b; 0 when no run of at least minLen
// matches (case-sensitive).
qsizetype longestBoundaryOverlap(const QString& a, const QString& b, qsizetype maxLen, qsizetype minLen);

// Chunk transcripts joined in order, each with the text it repeats from the previous one removed:
// an exact repeat of at least 4 and at most 200 characters, or else a repeat in which the two
// chunks heard a few words differently (FuzzyOverlap; the earlier chunk's words are kept). After
// an exact repeat the rest follows as written, so a repeat ending inside a word stays one word.
// Blank transcripts are skipped; otherwise one space goes between an ASCII letter ending the text
// so far and one starting the next segment, Chinese and everything else is joined directly.
QString stitchOverlapping(const QStringList& transcripts);

// The segments trimmed and joined like stitchOverlapping, without looking for overlaps.
QString join(const QStringList& segments);

// The text without a vocabulary read back at its start: an optional header ("专有名词" and the
// like) followed by at least two hotwords (any letter case) with separators between them. Fewer
// than two hotwords there is ordinary speech, and the text comes back unchanged.
QString stripLeadingEcho(const QString& text, const QStringList& hotwords);
QString stripLeadingEcho(const QString& text, const HotwordMatcher& hotwords);

// The text with every run of at least minRun hotwords (separated by punctuation or white space,
// in the order of the hotword list) collapsed to the run's first word. Runs in any other order
// are speech and stay.
QString stripHotwordRuns(const QString& text, const QStringList& hotwords, qsizetype minRun);
// The same with the words prepared; listOrder gives the hotword list, asked only when a run is
// long enough to be checked against its order.
QString stripHotwordRuns(const QString& text, const HotwordMatcher& hotwords,
                         const std::function<QStringList()>& listOrder, qsizetype minRun);

// False when the text holds nothing but white space, punctuation and symbols (emoji included).
bool hasMeaningfulContent(const QString& text);

// The text lower-cased with everything but letters, marks and digits removed, in composed
// (NFC) form so equal results mean canonically equivalent texts.
QString normalizeEcho(const QString& text);

// True when the text is a vocabulary header and nothing but hotwords and punctuation.
bool isVocabularyEcho(const QString& text, const QStringList& hotwords);
bool isVocabularyEcho(const QString& text, const HotwordMatcher& hotwords);

// True for a short plain Chinese reply: trimmed, 1 to 14 characters, no ASCII letter or digit,
// no filler word and no self-correction signal.
bool isCleanShortChinese(const QString& text);

} // namespace TranscriptHeuristics
