#include "core/store/Corrections.h"

#include "core/store/TextClass.h"
#include "core/text/Graphemes.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <span>
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

// One step of an alignment, in text order: a token both texts share, one only the corrected
// text has, or one only the original has.
enum class Step : char
{
    Same,
    Insert,
    Delete,
};

using Ids = std::span<const int>;

// The alignment of a small pair through the whole longest-common-subsequence table, walked back
// from the end; on a tie the corrected side's token is taken first.
void alignByTable(Ids a, Ids b, std::vector<Step>& out)
{
    const std::size_t columns = b.size() + 1;
    std::vector<qint32> t((a.size() + 1) * columns, 0);
    const auto at = [&](std::size_t i, std::size_t j) -> qint32& { return t[i * columns + j]; };
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j)
            at(i, j) = a[i - 1] == b[j - 1] ? at(i - 1, j - 1) + 1 : std::max(at(i - 1, j), at(i, j - 1));
    }
    const std::size_t first = out.size();
    std::size_t i = a.size();
    std::size_t j = b.size();
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && a[i - 1] == b[j - 1]) {
            out.push_back(Step::Same);
            --i;
            --j;
        } else if (j > 0 && (i == 0 || at(i, j - 1) >= at(i - 1, j))) {
            out.push_back(Step::Insert);
            --j;
        } else {
            out.push_back(Step::Delete);
            --i;
        }
    }
    std::reverse(out.begin() + std::ptrdiff_t(first), out.end());
}

// The last row of the longest-common-subsequence table of a and b, in one row of memory: entry j
// is the length for a and the first j tokens of b.
std::vector<qint32> lcsRow(Ids a, Ids b)
{
    std::vector<qint32> row(b.size() + 1, 0);
    for (const int token : a) {
        qint32 diagonal = 0;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const qint32 above = row[j];
            row[j] = token == b[j - 1] ? diagonal + 1 : std::max(above, row[j - 1]);
            diagonal = above;
        }
    }
    return row;
}

std::vector<int> reversed(Ids ids)
{
    return std::vector<int>(ids.rbegin(), ids.rend());
}

// Hirschberg's alignment: split the original in half, find where the corrected text splits so
// that both halves together keep a longest common subsequence, and align the halves on their own.
// Memory grows with the texts' length, not with the product of their lengths; pairs small enough
// for the table are aligned exactly as the table walk does.
void align(Ids a, Ids b, std::vector<Step>& out)
{
    if ((a.size() + 1) * (b.size() + 1) <= std::size_t(kMaxTableCells) || a.size() < 2) {
        alignByTable(a, b, out);
        return;
    }
    const std::size_t middle = a.size() / 2;
    const std::vector<qint32> front = lcsRow(a.first(middle), b);
    const std::vector<int> aBack = reversed(a.subspan(middle));
    const std::vector<int> bBack = reversed(b);
    const std::vector<qint32> back = lcsRow(aBack, bBack);
    std::size_t split = 0;
    for (std::size_t k = 1; k <= b.size(); ++k) {
        if (front[k] + back[b.size() - k] > front[split] + back[b.size() - split])
            split = k;
    }
    align(a.first(middle), b.first(split), out);
    align(a.subspan(middle), b.subspan(split), out);
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

    // The alignment takes equal tokens at the end first, so a common tail never holds a pair and
    // can be set aside unchanged; long texts with a local edit then stay cheap.
    while (!a.isEmpty() && !b.isEmpty() && a.back().key == b.back().key) {
        a.removeLast();
        b.removeLast();
    }
    if ((a.size() + 1) * (b.size() + 1) > kMaxTableCells) {
        // Only for long texts: a common head is set aside too, which can move an insertion next to
        // a repeated token but never invents a pair.
        qsizetype head = 0;
        while (head < a.size() && head < b.size() && a[head].key == b[head].key)
            ++head;
        a.remove(0, head);
        b.remove(0, head);
        if (a.size() * b.size() > kMaxAlignedCells)
            return {};
    }

    // Tokens as numbers, equal exactly when their canonical forms are.
    QHash<QString, int> ids;
    const auto numbered = [&ids](const QList<Token>& tokens) {
        std::vector<int> out;
        out.reserve(std::size_t(tokens.size()));
        for (const Token& token : tokens) {
            auto found = ids.constFind(token.key);
            if (found == ids.cend())
                found = ids.insert(token.key, int(ids.size()));
            out.push_back(*found);
        }
        return out;
    };
    const std::vector<int> aIds = numbered(a);
    const std::vector<int> bIds = numbered(b);
    std::vector<Step> steps;
    steps.reserve(aIds.size() + bIds.size());
    align(aIds, bIds, steps);

    QString wrongRun;
    QString rightRun;
    QList<CorrectionPair> pairs;
    const auto flush = [&] {
        if (!wrongRun.isEmpty() && !rightRun.isEmpty() && lengthsBalanced(wrongRun, rightRun) &&
            Graphemes::count(wrongRun) <= kMaxRunLength && Graphemes::count(rightRun) <= kMaxRunLength)
            pairs.append(CorrectionPair{wrongRun, rightRun});
        wrongRun.clear();
        rightRun.clear();
    };
    qsizetype i = 0;
    qsizetype j = 0;
    for (const Step step : steps) {
        switch (step) {
        case Step::Same:
            flush();
            ++i;
            ++j;
            break;
        case Step::Insert:
            rightRun.append(b[j++].text);
            break;
        case Step::Delete:
            wrongRun.append(a[i++].text);
            break;
        }
    }
    flush();
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
    // Only a wrong with Han characters is looked at character by character.
    const bool wrongHasHan = TextClass::hasHan(w);
    const QStringList wrongCharacters = wrongHasHan ? Graphemes::split(w) : QStringList();
    if (wrongHasHan && wrongCharacters.size() == 1)
        return true;
    if (TextClass::canonicalKey(w).contains(kBannedPhrase) || TextClass::canonicalKey(r).contains(kBannedPhrase))
        return true;
    if (!wrongHasHan)
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
