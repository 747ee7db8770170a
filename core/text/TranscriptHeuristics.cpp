#include "core/text/TranscriptHeuristics.h"

#include "core/text/ComparedText.h"
#include "core/text/FuzzyOverlap.h"
#include "core/text/Graphemes.h"
#include "core/text/HotwordMatcher.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace TranscriptHeuristics {

const QStringList fillers{
    QStringLiteral("嗯"),   QStringLiteral("啊"),   QStringLiteral("呃"),   QStringLiteral("唉"),
    QStringLiteral("额"),   QStringLiteral("那个"), QStringLiteral("这个"), QStringLiteral("就是说"),
    QStringLiteral("就是"), QStringLiteral("然后"), QStringLiteral("反正"), QStringLiteral("其实"),
    QStringLiteral("嘛"),   QStringLiteral("诶"),   QStringLiteral("哦"),   QStringLiteral("哈"),
};

const QStringList correctionSignals{
    QStringLiteral("不对"), QStringLiteral("我是说"), QStringLiteral("应该是"),
    QStringLiteral("不是"), QStringLiteral("说错"),
};

const QStringList vocabularyHeaders{
    QStringLiteral("可能出现的专有名词"),
    QStringLiteral("专有名词"),
    QStringLiteral("参考词"),
};

const QStringList echoMarkers{
    QStringLiteral("可能出现的专有名词"), QStringLiteral("专有名词"), QStringLiteral("参考词"),
    QStringLiteral("propernouns"),        QStringLiteral("keyterms"), QStringLiteral("vocabulary"),
};

namespace {

constexpr qsizetype kStitchMaxLen = 200;
constexpr qsizetype kStitchMinLen = 4;

char32_t firstScalar(QStringView character)
{
    if (character.isEmpty())
        return 0;
    if (character.size() > 1 && character[0].isHighSurrogate() && character[1].isLowSurrogate())
        return QChar::surrogateToUcs4(character[0], character[1]);
    return character[0].unicode();
}

// A character made of exactly one scalar below 128.
bool isAscii(QStringView character)
{
    return character.size() == 1 && character.front().unicode() < 128;
}

bool isAsciiLetter(QStringView character)
{
    return isAscii(character) && character.front().isLetter();
}

bool isLeadingSeparator(char32_t scalar)
{
    static const QString separators = QStringLiteral(" ,，、.。;；:：\t\n");
    return scalar != 0 && scalar < 0x10000 && separators.contains(QChar(char16_t(scalar)));
}

bool isListSeparator(QStringView character)
{
    static const QString separators = QStringLiteral(",，、.。;；:：/");
    const char32_t scalar = firstScalar(character);
    return QChar::isSpace(scalar) || (scalar < 0x10000 && separators.contains(QChar(char16_t(scalar))));
}

// Appends segment (already trimmed, not empty) with the one separator the joining rules allow.
void appendSegment(QString& result, const QString& segment)
{
    if (!result.isEmpty() && isAsciiLetter(Graphemes::last(result, 1).value(0)) &&
        isAsciiLetter(Graphemes::first(segment, 1).value(0)))
        result.append(QLatin1Char(' '));
    result.append(segment);
}

} // namespace

namespace {

// The overlap of a's tail and b's head in characters, and its length in b's UTF-16 units.
std::pair<qsizetype, qsizetype> boundaryOverlap(const QString& a, const QString& b, qsizetype maxLen, qsizetype minLen)
{
    // An overlap of no characters is no overlap, whatever minLen says.
    const qsizetype shortest = std::max<qsizetype>(minLen, 1);
    if (a.isEmpty() || b.isEmpty() || maxLen < shortest)
        return {0, 0};
    // The windows hold at least maxLen characters where the texts are that long; only the last
    // (first) maxLen of them take segment.
    const ComparedText tail(Graphemes::lastWindow(a, maxLen).toString(), false);
    const ComparedText head(Graphemes::firstWindow(b, maxLen).toString(), false);
    const qsizetype longest = std::min({tail.size(), head.size(), maxLen});
    for (qsizetype k = longest; k >= shortest; --k) {
        if (std::equal(head.compared.begin(), head.compared.begin() + k, tail.compared.end() - k))
            return {k, head.offset(k)};
    }
    return {0, 0};
}

} // namespace

qsizetype longestBoundaryOverlap(const QString& a, const QString& b, qsizetype maxLen, qsizetype minLen)
{
    return boundaryOverlap(a, b, maxLen, minLen).first;
}

QString stitchOverlapping(const QStringList& transcripts)
{
    QString result;
    for (const QString& transcript : transcripts) {
        QString segment = transcript.trimmed();
        if (segment.isEmpty())
            continue;
        if (result.isEmpty()) {
            result = segment;
            continue;
        }
        const auto [characters, units] = boundaryOverlap(result, segment, kStitchMaxLen, kStitchMinLen);
        if (characters > 0) {
            // The rest continues the repeated words exactly as the recogniser wrote them, also when
            // the repeat ends inside a word ("tomor" + "row").
            result.append(QStringView(segment).mid(units));
            continue;
        }
        segment = segment.mid(FuzzyOverlap::repeatedHead(result, segment, kStitchMaxLen)).trimmed();
        if (segment.isEmpty())
            continue;
        appendSegment(result, segment);
    }
    return result;
}

QString join(const QStringList& segments)
{
    QString result;
    for (const QString& raw : segments) {
        const QString segment = raw.trimmed();
        if (!segment.isEmpty())
            appendSegment(result, segment);
    }
    return result;
}

QString stripLeadingEcho(const QString& text, const QStringList& hotwords)
{
    return stripLeadingEcho(text, HotwordMatcher(hotwords));
}

QString stripLeadingEcho(const QString& text, const HotwordMatcher& hotwords)
{
    if (hotwords.isEmpty())
        return text;

    const ComparedText s(text, true);
    qsizetype position = 0;
    const auto skipSeparators = [&] {
        while (position < s.size() && isLeadingSeparator(firstScalar(s.written(position))))
            ++position;
    };

    skipSeparators();
    for (const QString& header : vocabularyHeaders) {
        const ComparedText headerCharacters(header, false);
        if (s.matchesAt(position, headerCharacters)) {
            position += headerCharacters.size();
            skipSeparators();
            break;
        }
    }

    int cuts = 0;
    while (const qsizetype length = hotwords.longestWordAt(s, position)) {
        position += length;
        skipSeparators();
        ++cuts;
    }

    // One hotword at the start is just the user saying it.
    if (cuts < 2)
        return text;
    return text.mid(s.offset(position));
}

QString stripHotwordRuns(const QString& text, const QStringList& hotwords, qsizetype minRun)
{
    return stripHotwordRuns(
        text, HotwordMatcher(hotwords), [&] { return hotwords; }, minRun);
}

QString stripHotwordRuns(const QString& text, const HotwordMatcher& hotwords,
                         const std::function<QStringList()>& listOrder, qsizetype minRun)
{
    if (hotwords.isEmpty() || text.isEmpty())
        return text;

    const ComparedText t(text, true);
    // The list lower-cased, made only when a run is long enough to be checked against it.
    std::optional<QStringList> loweredList;
    const auto followsListOrder = [&](const std::vector<HotwordMatcher::RunWord>& run) {
        if (!loweredList) {
            loweredList.emplace();
            for (const QString& hotword : listOrder())
                loweredList->append(hotword.toLower().normalized(QString::NormalizationForm_C));
        }
        qsizetype next = 0;
        for (const HotwordMatcher::RunWord& word : run) {
            const qsizetype found = loweredList->indexOf(word.lowered, next);
            if (found < 0)
                return false;
            next = found + 1;
        }
        return true;
    };

    QString output;
    output.reserve(text.size());
    qsizetype i = 0;
    while (i < t.size()) {
        const std::optional<HotwordMatcher::RunWord> first = hotwords.runWordAt(t, i);
        if (!first) {
            output.append(t.written(i));
            ++i;
            continue;
        }
        const qsizetype e1 = i + first->size;
        std::vector<HotwordMatcher::RunWord> run{*first};
        qsizetype end = e1;
        for (;;) {
            qsizetype next = end;
            while (next < t.size() && isListSeparator(t.written(next)))
                ++next;
            if (next == end)
                break;
            std::optional<HotwordMatcher::RunWord> word = hotwords.runWordAt(t, next);
            if (!word)
                break;
            end = next + word->size;
            run.push_back(std::move(*word));
        }
        output.append(QStringView(text).mid(t.offset(i), t.offset(e1) - t.offset(i)));
        i = (qsizetype(run.size()) >= minRun && followsListOrder(run)) ? end : e1;
    }
    return output;
}

bool hasMeaningfulContent(const QString& text)
{
    for (const char32_t scalar : text.toUcs4()) {
        if (!QChar::isSpace(scalar) && !QChar::isPunct(scalar) && !QChar::isSymbol(scalar))
            return true;
    }
    return false;
}

QString normalizeEcho(const QString& text)
{
    // Printable ASCII and CJK text, most of a large hotword list, stays composed whatever is
    // taken out of it, and has no marks.
    if (ComparedText::isPlain(text)) {
        QString kept;
        kept.reserve(text.size());
        for (const QChar c : text) {
            if (c.isLetterOrNumber())
                kept.append(c.toLower());
        }
        return kept;
    }
    const QString lowered = text.toLower();
    QString kept;
    kept.reserve(lowered.size());
    for (const char32_t scalar : lowered.toUcs4()) {
        if (QChar::isLetterOrNumber(scalar) || QChar::isMark(scalar))
            kept.append(QStringView(QChar::fromUcs4(scalar)));
    }
    return kept.normalized(QString::NormalizationForm_C);
}

bool isVocabularyEcho(const QString& text, const QStringList& hotwords)
{
    return isVocabularyEcho(text, HotwordMatcher(hotwords));
}

bool isVocabularyEcho(const QString& text, const HotwordMatcher& hotwords)
{
    QString n = normalizeEcho(text);
    if (n.isEmpty())
        return false;
    if (std::none_of(echoMarkers.begin(), echoMarkers.end(), [&](const QString& m) { return n.contains(m); }))
        return false;
    for (const QString& marker : echoMarkers)
        n.remove(marker);
    return hotwords.coversEcho(n);
}

bool isCleanShortChinese(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || Graphemes::count(t) >= 15)
        return false;
    const bool hasAsciiAlphanumeric = std::any_of(t.begin(), t.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
    });
    if (hasAsciiAlphanumeric)
        return false;
    const auto contained = [&](const QString& word) { return t.contains(word); };
    return std::none_of(fillers.begin(), fillers.end(), contained) &&
           std::none_of(correctionSignals.begin(), correctionSignals.end(), contained);
}

} // namespace TranscriptHeuristics
