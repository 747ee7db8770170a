#include "core/store/Corrections.h"

#include "core/store/TextClass.h"
#include "core/text/Graphemes.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace Corrections {

namespace {

constexpr qsizetype kMaxRunLength = 20;
constexpr qsizetype kMinLengthSlack = 3;

const QString kBannedPhrase = QStringLiteral("知道要");
const QString kRulePunctuation = QStringLiteral("，。？！、；：…");

struct Token
{
    QString text;
    QString key; // canonical form: tokens compare as canonically equivalent text
};

QList<Token> tokens(const QString& text)
{
    QList<Token> out;
    QString word;
    const auto endWord = [&] {
        if (!word.isEmpty()) {
            out.append(Token{word, word});
            word.clear();
        }
    };
    for (const QString& character : Graphemes::split(text)) {
        if (character.size() == 1 && TextClass::isAsciiLetter(character.front())) {
            word.append(character);
            continue;
        }
        endWord();
        if (!TextClass::isWhiteSpace(TextClass::firstScalar(character)))
            out.append(Token{character, TextClass::canonicalKey(character)});
    }
    endWord();
    return out;
}

class LcsTable
{
public:
    LcsTable(const QList<Token>& a, const QList<Token>& b)
        : m_columns(b.size() + 1)
        , m_cells(size_t((a.size() + 1) * m_columns), 0)
    {
        for (qsizetype i = 1; i <= a.size(); ++i) {
            for (qsizetype j = 1; j <= b.size(); ++j) {
                at(i, j) = a[i - 1].key == b[j - 1].key ? at(i - 1, j - 1) + 1 : std::max(at(i - 1, j), at(i, j - 1));
            }
        }
    }

    qint32 operator()(qsizetype i, qsizetype j) const { return m_cells[size_t(i * m_columns + j)]; }

private:
    qint32& at(qsizetype i, qsizetype j) { return m_cells[size_t(i * m_columns + j)]; }

    qsizetype m_columns;
    std::vector<qint32> m_cells;
};

QString joined(const QStringList& reversedRun)
{
    QString out;
    for (auto it = reversedRun.crbegin(); it != reversedRun.crend(); ++it)
        out.append(*it);
    return out;
}

bool lengthsBalanced(const QString& w, const QString& r)
{
    if (TextClass::hasHan(w) != TextClass::hasHan(r))
        return true; // a Chinese rendering of a Latin word, or the reverse
    const qsizetype lw = Graphemes::count(w);
    const qsizetype lr = Graphemes::count(r);
    return std::abs(lw - lr) <= std::max(std::min(lw, lr), kMinLengthSlack);
}

// Function words of English: the ones a sentence-level edit swaps, never a recognition error.
const QSet<QString>& commonLatinWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> out;
        const char* const list[] = {
            "a",    "an",    "the",   "i",     "me",    "my",     "we",    "us",    "our",  "you",   "your",
            "he",   "him",   "his",   "she",   "her",   "it",     "its",   "they",  "them", "their", "this",
            "that", "these", "those", "is",    "am",    "are",    "was",   "were",  "be",   "been",  "do",
            "does", "did",   "have",  "has",   "had",   "to",     "of",    "in",    "on",   "at",    "by",
            "for",  "from",  "with",  "as",    "or",    "and",    "but",   "not",   "no",   "so",    "if",
            "then", "than",  "up",    "out",   "off",   "into",   "about", "all",   "any",  "some",  "one",
            "can",  "could", "will",  "would", "shall", "should", "may",   "might", "must", "just",  "very",
            "too",  "also",  "there", "here",  "what",  "who",    "how",   "when",  "why",  "which", "yes",
        };
        for (const char* word : list)
            out.insert(QString::fromLatin1(word));
        return out;
    }();
    return words;
}

} // namespace

QStringList tokenize(const QString& text)
{
    QStringList out;
    for (const Token& token : tokens(text))
        out.append(token.text);
    return out;
}

QList<CorrectionPair> extract(const QString& original, const QString& corrected)
{
    QList<Token> a = tokens(original);
    QList<Token> b = tokens(corrected);

    // The walk below takes equal tokens at the end first, so a common tail never holds a pair and
    // can be set aside unchanged; long texts with a local edit then stay cheap.
    while (!a.isEmpty() && !b.isEmpty() && a.back().key == b.back().key) {
        a.removeLast();
        b.removeLast();
    }
    if ((a.size() + 1) * (b.size() + 1) > kMaxTableCells) {
        // Only for very long texts: a common head is set aside too, which can move an insertion
        // next to a repeated token but never invents a pair.
        qsizetype head = 0;
        while (head < a.size() && head < b.size() && a[head].key == b[head].key)
            ++head;
        a.remove(0, head);
        b.remove(0, head);
        if ((a.size() + 1) * (b.size() + 1) > kMaxTableCells)
            return {};
    }

    const LcsTable t(a, b);
    QStringList wrongRun; // collected from the end, so in reverse text order
    QStringList rightRun;
    QList<CorrectionPair> pairs;
    const auto flush = [&] {
        if (!wrongRun.isEmpty() && !rightRun.isEmpty()) {
            const QString w = joined(wrongRun);
            const QString r = joined(rightRun);
            if (lengthsBalanced(w, r) && Graphemes::count(w) <= kMaxRunLength && Graphemes::count(r) <= kMaxRunLength)
                pairs.append(CorrectionPair{w, r});
        }
        wrongRun.clear();
        rightRun.clear();
    };

    qsizetype i = a.size();
    qsizetype j = b.size();
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && a[i - 1].key == b[j - 1].key) {
            flush();
            --i;
            --j;
        } else if (j > 0 && (i == 0 || t(i, j - 1) >= t(i - 1, j))) {
            rightRun.append(b[j - 1].text);
            --j;
        } else {
            wrongRun.append(a[i - 1].text);
            --i;
        }
    }
    flush();
    std::reverse(pairs.begin(), pairs.end());
    return pairs;
}

bool isCommonLatinWord(const QString& text)
{
    return commonLatinWords().contains(TextClass::trimWhiteSpace(text).toLower());
}

bool isBadRule(const QString& wrong, const QString& right)
{
    const QString w = TextClass::trimWhiteSpace(wrong);
    const QString r = TextClass::trimWhiteSpace(right);
    if (w.isEmpty() || r.isEmpty() || TextClass::canonicallyEqual(w, r))
        return true;
    const QStringList wrongCharacters = Graphemes::split(w);
    if (wrongCharacters.size() == 1 && TextClass::hasHan(w))
        return true;
    if (TextClass::canonicalKey(w).contains(kBannedPhrase) || TextClass::canonicalKey(r).contains(kBannedPhrase))
        return true;
    if (!TextClass::hasHan(w))
        return false;
    if (wrongCharacters.size() > 6)
        return true;
    for (const QString& character : wrongCharacters) {
        if (character.size() == 1 && kRulePunctuation.contains(character.front()))
            return true;
    }
    if (!TextClass::hasHan(r))
        return false;
    QSet<QString> wrongHan;
    for (const QString& character : wrongCharacters) {
        if (TextClass::hasHan(character))
            wrongHan.insert(TextClass::canonicalKey(character));
    }
    for (const QString& character : Graphemes::split(r)) {
        if (TextClass::hasHan(character) && wrongHan.contains(TextClass::canonicalKey(character)))
            return false;
    }
    return true;
}

} // namespace Corrections
