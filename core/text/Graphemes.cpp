#include "core/text/Graphemes.h"

#include <QTextBoundaryFinder>

namespace Graphemes {

namespace {

// Characters whose grapheme class is plain "Other" (printable ASCII, CJK ideographs, CJK and
// full-width punctuation): they never join a neighbour into one cluster, so there is always a
// boundary between two of them, whatever comes before.
bool isPlain(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x20 && u < 0x7F) || (u >= 0x3001 && u <= 0x303F) || (u >= 0x4E00 && u <= 0x9FFF) ||
           (u >= 0xFF01 && u <= 0xFF5E);
}

// Segmenting a whole long text to find its first or last few characters would make the cost grow
// with the text. Instead a window a little longer than needed is cut at a boundary between two
// plain characters, found within this many UTF-16 units of the window's edge; segmenting the
// window then gives exactly the clusters the whole text has there.
constexpr qsizetype kSlack = 64;

qsizetype safeBoundaryNear(QStringView text, qsizetype from, qsizetype step)
{
    for (qsizetype p = from, tries = 0; p > 0 && p < text.size() && tries < kSlack; p += step, ++tries) {
        if (isPlain(text[p - 1]) && isPlain(text[p]))
            return p;
    }
    return -1;
}

QStringList splitView(QStringView text)
{
    QStringList characters;
    const std::vector<qsizetype> cuts = boundaries(text);
    characters.reserve(qsizetype(cuts.size()) - 1);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
        characters.append(text.mid(cuts[i], cuts[i + 1] - cuts[i]).toString());
    return characters;
}

} // namespace

qsizetype count(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype n = 0;
    while (finder.toNextBoundary() > 0)
        ++n;
    return n;
}

std::vector<qsizetype> boundaries(QStringView text)
{
    std::vector<qsizetype> cuts{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary())
        cuts.push_back(end);
    return cuts;
}

QStringView firstWindow(QStringView text, qsizetype n)
{
    // Windows of about n units, then 4n (most characters are one unit), then the whole text.
    for (const qsizetype window : {n + kSlack, 4 * n + kSlack}) {
        if (text.size() <= window + kSlack)
            break;
        const qsizetype cut = safeBoundaryNear(text, window, 1);
        if (cut > 0 && qsizetype(boundaries(text.left(cut)).size()) > n)
            return text.left(cut);
    }
    return text;
}

QStringView lastWindow(QStringView text, qsizetype n)
{
    for (const qsizetype window : {n + kSlack, 4 * n + kSlack}) {
        if (text.size() <= window + kSlack)
            break;
        const qsizetype cut = safeBoundaryNear(text, text.size() - window, -1);
        if (cut > 0 && qsizetype(boundaries(text.mid(cut)).size()) > n)
            return text.mid(cut);
    }
    return text;
}

QStringList first(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    return splitView(firstWindow(text, n)).mid(0, n);
}

QStringList last(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    const QStringList characters = splitView(lastWindow(text, n));
    return characters.mid(std::max<qsizetype>(characters.size() - n, 0));
}

QString left(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (text.size() <= n)
        return text; // every grapheme is at least one UTF-16 unit
    return first(text, n).join(QString());
}

QString right(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (text.size() <= n)
        return text;
    return last(text, n).join(QString());
}

QStringList split(const QString& text)
{
    return splitView(text);
}

} // namespace Graphemes
