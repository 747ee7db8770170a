#include "core/text/FuzzyOverlap.h"

#include "core/text/Graphemes.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace FuzzyOverlap {

namespace {

struct Token
{
    QString key;     // lower-cased and composed: the two chunks may differ in letter case
    qsizetype end{}; // UTF-16 offset just after the token in its text
};

bool isAsciiLetterOrDigit(QStringView character)
{
    return character.size() == 1 && character.front().unicode() < 128 && character.front().isLetterOrNumber();
}

// Runs of ASCII letters and digits as words, every other character but blanks on its own.
std::vector<Token> tokens(QStringView text)
{
    std::vector<Token> out;
    const std::vector<qsizetype> bounds = Graphemes::boundaries(text);
    bool inWord = false;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        const QStringView character = text.mid(bounds[i], bounds[i + 1] - bounds[i]);
        if (isAsciiLetterOrDigit(character)) {
            if (inWord) {
                out.back().key.append(character.front().toLower());
                out.back().end = bounds[i + 1];
            } else {
                out.push_back(Token{QString(character.front().toLower()), bounds[i + 1]});
            }
            inWord = true;
            continue;
        }
        inWord = false;
        if (!character.front().isSpace())
            out.push_back(
                Token{character.toString().toLower().normalized(QString::NormalizationForm_C), bounds[i + 1]});
    }
    return out;
}

enum class Move : char
{
    Pair,     // a token of each text, equal or not
    SkipTail, // a token only a has
    SkipHead, // a token only b has
};

} // namespace

qsizetype repeatedHead(QStringView a, QStringView b, qsizetype maxLen)
{
    const std::vector<Token> tail = tokens(Graphemes::lastWindow(a, maxLen));
    const std::vector<Token> head = tokens(Graphemes::firstWindow(b, maxLen));
    const std::size_t n = tail.size();
    const std::size_t m = head.size();
    if (n == 0 || m == 0)
        return 0;

    // Semi-global alignment: the repeat may begin anywhere in a's tail but must reach its end,
    // and must begin at b's start but may end anywhere in b's head. A matching pair scores one, a
    // differing pair or a token on one side only costs one.
    const std::size_t columns = m + 1;
    std::vector<int> score((n + 1) * columns, 0);
    std::vector<Move> moves((n + 1) * columns, Move::Pair);
    const auto cell = [columns](std::size_t i, std::size_t j) { return i * columns + j; };
    for (std::size_t j = 1; j <= m; ++j) {
        score[cell(0, j)] = -int(j);
        moves[cell(0, j)] = Move::SkipHead;
    }
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const bool same = tail[i - 1].key == head[j - 1].key;
            int best = score[cell(i - 1, j - 1)] + (same ? 1 : -1);
            Move move = Move::Pair;
            if (score[cell(i - 1, j)] - 1 > best) {
                best = score[cell(i - 1, j)] - 1;
                move = Move::SkipTail;
            }
            if (score[cell(i, j - 1)] - 1 > best) {
                best = score[cell(i, j - 1)] - 1;
                move = Move::SkipHead;
            }
            score[cell(i, j)] = best;
            moves[cell(i, j)] = move;
        }
    }
    std::size_t end = 0;
    for (std::size_t j = 1; j <= m; ++j) {
        if (score[cell(n, j)] > score[cell(n, end)])
            end = j;
    }
    if (end == 0)
        return 0;

    int matches = 0;
    int differences = 0;
    std::size_t i = n;
    std::size_t j = end;
    while (j > 0) {
        switch (moves[cell(i, j)]) {
        case Move::Pair:
            if (tail[i - 1].key == head[j - 1].key)
                ++matches;
            else
                ++differences;
            --i;
            --j;
            break;
        case Move::SkipTail:
            ++differences;
            --i;
            break;
        case Move::SkipHead:
            ++differences;
            --j;
            break;
        }
    }
    if (matches < kMinMatches || differences * kMatchesPerDifference > matches)
        return 0;
    return head[end - 1].end;
}

} // namespace FuzzyOverlap
