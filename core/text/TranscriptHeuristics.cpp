#include "core/text/TranscriptHeuristics.h"

#include "core/text/FuzzyOverlap.h"
#include "core/text/Graphemes.h"

#include <algorithm>
#include <array>
#include <deque>
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

// The lower-case ASCII letters as strings of their own, so folding "A" allocates nothing.
const std::array<QString, 26>& asciiLowerCase()
{
    static const std::array<QString, 26> letters = [] {
        std::array<QString, 26> out;
        for (int i = 0; i < 26; ++i)
            out[std::size_t(i)] = QString(QChar(u'a' + i));
        return out;
    }();
    return letters;
}

// A text as user-perceived characters, each as written (for output) and in the form used to
// compare it: composed, and lower-cased when the comparison ignores case. Lower-casing character
// by character keeps both the same length. The characters are views into the text; only those
// whose compared form differs are stored apart, which for printable ASCII and CJK text (their own
// composed form) is none but upper-case letters.
class Characters
{
public:
    Characters(QString text, bool lowerCase)
        : m_text(std::move(text))
        , m_offsets(Graphemes::boundaries(m_text))
    {
        compared.reserve(m_offsets.size() - 1);
        for (qsizetype i = 0; i < size(); ++i)
            compared.push_back(comparable(written(i), lowerCase));
    }

    // The views point into m_text and m_folded, which a move keeps in place; a copy would not.
    Characters(Characters&&) = default;
    Characters& operator=(Characters&&) = default;
    Characters(const Characters&) = delete;
    Characters& operator=(const Characters&) = delete;

    qsizetype size() const { return qsizetype(m_offsets.size()) - 1; }
    QStringView written(qsizetype i) const
    {
        return QStringView(m_text).mid(m_offsets[std::size_t(i)],
                                       m_offsets[std::size_t(i) + 1] - m_offsets[std::size_t(i)]);
    }
    // UTF-16 offset of character i in the text (i == size(): the text's length).
    qsizetype offset(qsizetype i) const { return m_offsets[std::size_t(i)]; }

    // Whether other's compared characters appear at position.
    bool matchesAt(qsizetype position, const Characters& other) const
    {
        if (position < 0 || position + other.size() > size())
            return false;
        return std::equal(other.compared.begin(), other.compared.end(), compared.begin() + position);
    }

    std::vector<QStringView> compared;

private:
    QStringView comparable(QStringView character, bool lowerCase)
    {
        if (character.size() == 1) {
            const char16_t u = character.front().unicode();
            if (u >= 0x20 && u < 0x7F) {
                if (lowerCase && u >= 'A' && u <= 'Z')
                    return asciiLowerCase()[std::size_t(u - 'A')];
                return character;
            }
            if ((u >= 0x3001 && u <= 0x303F) || (u >= 0x4E00 && u <= 0x9FFF))
                return character;
        }
        QString folded = lowerCase ? character.toString().toLower() : character.toString();
        folded = folded.normalized(QString::NormalizationForm_C);
        if (folded == character)
            return character;
        m_folded.push_back(std::move(folded));
        return m_folded.back();
    }

    QString m_text;
    std::vector<qsizetype> m_offsets;
    std::deque<QString> m_folded;
};

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

bool isAsciiLetterOrDigit(QStringView character)
{
    return isAscii(character) && character.front().isLetterOrNumber();
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

// Sorted by character count, longest first; equal lengths keep their order.
void sortLongestFirst(std::vector<Characters>& words)
{
    std::stable_sort(words.begin(), words.end(),
                     [](const Characters& a, const Characters& b) { return a.size() > b.size(); });
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
    const Characters tail(Graphemes::lastWindow(a, maxLen).toString(), false);
    const Characters head(Graphemes::firstWindow(b, maxLen).toString(), false);
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
    std::vector<Characters> words;
    for (const QString& hotword : hotwords) {
        if (!hotword.isEmpty())
            words.emplace_back(hotword, true);
    }
    if (words.empty())
        return text;
    sortLongestFirst(words);

    const Characters s(text, true);
    qsizetype position = 0;
    const auto skipSeparators = [&] {
        while (position < s.size() && isLeadingSeparator(firstScalar(s.written(position))))
            ++position;
    };

    skipSeparators();
    for (const QString& header : vocabularyHeaders) {
        const Characters headerCharacters(header, false);
        if (s.matchesAt(position, headerCharacters)) {
            position += headerCharacters.size();
            skipSeparators();
            break;
        }
    }

    int cuts = 0;
    for (bool found = true; found;) {
        found = false;
        for (const Characters& word : words) {
            if (s.matchesAt(position, word)) {
                position += word.size();
                skipSeparators();
                ++cuts;
                found = true;
                break;
            }
        }
    }

    // One hotword at the start is just the user saying it.
    if (cuts < 2)
        return text;
    return text.mid(s.offset(position));
}

QString stripHotwordRuns(const QString& text, const QStringList& hotwords, qsizetype minRun)
{
    struct Word
    {
        Characters characters;
        QString lowered; // for the list-order check
        bool asciiStart;
    };
    std::vector<Word> words;
    for (const QString& hotword : hotwords) {
        const QString trimmed = hotword.trimmed();
        Characters characters(trimmed, true);
        if (characters.size() <= 1)
            continue;
        const bool asciiStart = isAscii(characters.written(0));
        words.push_back(
            {std::move(characters), trimmed.toLower().normalized(QString::NormalizationForm_C), asciiStart});
    }
    if (words.empty() || text.isEmpty())
        return text;
    std::stable_sort(words.begin(), words.end(),
                     [](const Word& a, const Word& b) { return a.characters.size() > b.characters.size(); });

    QStringList loweredList;
    loweredList.reserve(hotwords.size());
    for (const QString& hotword : hotwords)
        loweredList.append(hotword.toLower().normalized(QString::NormalizationForm_C));

    const Characters t(text, true);
    // The first word (longest first) at position, or -1. An ASCII word must not run on into more
    // ASCII letters or digits: "Go" is not found in "Google".
    const auto wordAt = [&](qsizetype position) -> qsizetype {
        for (std::size_t w = 0; w < words.size(); ++w) {
            const Word& word = words[w];
            if (!t.matchesAt(position, word.characters))
                continue;
            const qsizetype end = position + word.characters.size();
            if (word.asciiStart && end < t.size() && isAsciiLetterOrDigit(t.written(end)))
                continue;
            return qsizetype(w);
        }
        return -1;
    };
    const auto followsListOrder = [&](const std::vector<qsizetype>& run) {
        qsizetype next = 0;
        for (const qsizetype w : run) {
            const qsizetype found = loweredList.indexOf(words[std::size_t(w)].lowered, next);
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
        const qsizetype first = wordAt(i);
        if (first < 0) {
            output.append(t.written(i));
            ++i;
            continue;
        }
        const qsizetype e1 = i + words[std::size_t(first)].characters.size();
        std::vector<qsizetype> run{first};
        qsizetype end = e1;
        for (;;) {
            qsizetype next = end;
            while (next < t.size() && isListSeparator(t.written(next)))
                ++next;
            if (next == end)
                break;
            const qsizetype w = wordAt(next);
            if (w < 0)
                break;
            run.push_back(w);
            end = next + words[std::size_t(w)].characters.size();
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
    QString n = normalizeEcho(text);
    if (n.isEmpty())
        return false;
    if (std::none_of(echoMarkers.begin(), echoMarkers.end(), [&](const QString& m) { return n.contains(m); }))
        return false;
    for (const QString& marker : echoMarkers)
        n.remove(marker);

    std::vector<QString> words;
    for (const QString& hotword : hotwords) {
        QString word = normalizeEcho(hotword);
        if (!word.isEmpty())
            words.push_back(std::move(word));
    }
    std::stable_sort(words.begin(), words.end(),
                     [](const QString& a, const QString& b) { return Graphemes::count(a) > Graphemes::count(b); });
    for (const QString& word : words)
        n.remove(word);
    return n.isEmpty();
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
