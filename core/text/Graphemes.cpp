#include "core/text/Graphemes.h"

#include <QTextBoundaryFinder>

namespace Graphemes {

namespace {

// UTF-16 position just after the n-th boundary counted from the start (or the end).
qsizetype boundaryAfter(const QString& text, qsizetype n, bool fromEnd)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    if (fromEnd)
        finder.toEnd();
    qsizetype position = fromEnd ? text.size() : 0;
    for (qsizetype i = 0; i < n; ++i) {
        position = fromEnd ? finder.toPreviousBoundary() : finder.toNextBoundary();
        if (position < 0)
            return fromEnd ? 0 : text.size();
    }
    return position;
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

QString left(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (text.size() <= n)
        return text; // every grapheme is at least one UTF-16 unit
    return text.left(boundaryAfter(text, n, false));
}

QString right(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    if (text.size() <= n)
        return text;
    return text.mid(boundaryAfter(text, n, true));
}

QStringList split(const QString& text)
{
    QStringList parts;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
        parts.append(text.mid(start, end - start));
        start = end;
    }
    return parts;
}

} // namespace Graphemes
