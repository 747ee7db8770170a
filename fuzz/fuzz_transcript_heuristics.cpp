// Transcripts come from outside (recognisers, the user's saved text): every repair must survive any
// text, and the bounded segmentation used for stitching must agree with segmenting everything.
// Input: UTF-8 lines; the first is the transcript, the second the model's answer, the rest hotwords.
#include "core/text/AnswerGuards.h"
#include "core/text/CustomRule.h"
#include "core/text/FuzzyOverlap.h"
#include "core/text/Graphemes.h"
#include "core/text/TranscriptHeuristics.h"
#include "core/text/VoiceTrigger.h"

#include <cstdint>
#include <cstdlib>

#include <cstdio>

// Names the broken invariant before stopping, so a crash file explains itself.
#define check(holds)                                                                                                   \
    do {                                                                                                               \
        if (!(holds)) {                                                                                                \
            std::fprintf(stderr, "broken: %s (line %d)\n", #holds, __LINE__);                                          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace {

// Qt says a null string does not start with an empty one; here every text starts with nothing.
bool beginsWith(const QString& text, const QString& prefix)
{
    return prefix.isEmpty() || text.startsWith(prefix);
}

bool finishesWith(const QString& text, const QString& suffix)
{
    return suffix.isEmpty() || text.endsWith(suffix);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = input.split(QLatin1Char('\n'));
    const QString text = lines.value(0);
    const QString answer = lines.value(1);
    const QStringList hotwords = lines.mid(2);

    const QStringList all = Graphemes::split(text);
    for (const qsizetype n : {qsizetype(1), qsizetype(3), qsizetype(200)}) {
        const qsizetype k = std::min(n, all.size());
        check(Graphemes::first(text, n) == all.mid(0, k));
        check(Graphemes::last(text, n) == all.mid(all.size() - k));
    }

    const qsizetype overlap = TranscriptHeuristics::longestBoundaryOverlap(text, answer, 200, 4);
    check(overlap == 0 || (overlap >= 4 && overlap <= 200 && overlap <= all.size()));
    const QString stitched = TranscriptHeuristics::stitchOverlapping({text, answer, text});
    check(beginsWith(stitched, text.trimmed()));
    check(TranscriptHeuristics::stitchOverlapping({text}) == text.trimmed());
    const qsizetype repeated = FuzzyOverlap::repeatedHead(text, answer, 200);
    check(repeated >= 0 && repeated <= answer.size());
    check(repeated == 0 || !answer.at(repeated - 1).isHighSurrogate());

    const QString rule = CustomRule::fromAnswer(answer);
    check(Graphemes::count(rule) <= CustomRule::kMaxLength);
    check(!rule.contains(QLatin1Char('\r')) && !rule.contains(QChar(0x2028)) && rule == rule.trimmed());
    check(TranscriptHeuristics::join({text}) == text.trimmed());

    const QString stripped = TranscriptHeuristics::stripLeadingEcho(text, hotwords);
    check(finishesWith(text, stripped));
    check(TranscriptHeuristics::stripHotwordRuns(text, hotwords, 5).size() <= text.size());
    check(TranscriptHeuristics::stripHotwordRuns(text, hotwords, 1000) == text);

    const bool meaningful = TranscriptHeuristics::hasMeaningfulContent(text);
    const QString normalized = TranscriptHeuristics::normalizeEcho(text);
    check(meaningful || normalized.isEmpty());
    (void)TranscriptHeuristics::isVocabularyEcho(text, hotwords);
    if (TranscriptHeuristics::isCleanShortChinese(text))
        check(!text.trimmed().isEmpty() && Graphemes::count(text.trimmed()) < 15);

    const StyleMode fallback{QStringLiteral("casual"), QStringLiteral("casual"), QString(), {}};
    const StyleMode spoken{QStringLiteral("formal"), QStringLiteral("formal"), QString(), hotwords};
    const VoiceTrigger selected = VoiceTrigger::select(text, fallback, {spoken});
    check(selected.mode == spoken || selected.text == text);

    const QString guarded = AnswerGuards::guard(answer, text);
    check(guarded == answer || guarded == text);
    const QString trimmedPeriods = AnswerGuards::withoutTrailingPeriods(answer);
    check(beginsWith(answer, trimmedPeriods));
    return 0;
}
