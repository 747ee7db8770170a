#include "core/store/LexiconImport.h"

#include "core/store/TextClass.h"

#include <QRegularExpression>

namespace LexiconImport {

namespace {

// LF, CR (alone or before LF), vertical tab, form feed, NEL, line and paragraph separators.
const QRegularExpression kLineEnds(QStringLiteral("[\\n\\r\\x{000B}\\x{000C}\\x{0085}\\x{2028}\\x{2029}]"));

const QString kArrows[] = {QStringLiteral("->"), QStringLiteral("→"), QStringLiteral("=>")};

} // namespace

QList<Entry> parse(const QString& text)
{
    QList<Entry> entries;
    for (const QString& piece : text.split(kLineEnds, Qt::SkipEmptyParts)) {
        const QString line = TextClass::trimSpacesAndTabs(piece);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        bool decided = false;
        for (const QString& arrow : kArrows) {
            if (!line.contains(arrow))
                continue;
            decided = true;
            const QStringList sides = line.split(arrow);
            if (sides.size() == 2) {
                entries.append(Entry{Entry::Kind::Rule, TextClass::trimSpacesAndTabs(sides[0]),
                                     TextClass::trimSpacesAndTabs(sides[1])});
            }
            break;
        }
        if (!decided)
            entries.append(Entry{Entry::Kind::Hotword, line, QString()});
    }
    return entries;
}

} // namespace LexiconImport
