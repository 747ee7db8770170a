#include "core/text/CustomRuleList.h"

namespace CustomRuleList {

namespace {

QString trimmedOfSpacesAndTabs(const QString& line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(line.at(begin)))
        ++begin;
    while (end > begin && blank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

} // namespace

QStringList items(const QString& notes)
{
    QStringList rules;
    for (const QString& line : notes.split(u'\n', Qt::SkipEmptyParts)) {
        const QString rule = trimmedOfSpacesAndTabs(line);
        if (!rule.isEmpty())
            rules.append(rule);
    }
    return rules;
}

QString without(const QString& notes, const QString& item)
{
    QStringList rules = items(notes);
    rules.removeAll(item);
    return rules.join(u'\n');
}

QString with(const QString& notes, const QString& rule)
{
    QStringList rules = items(notes);
    if (!rules.contains(rule))
        rules.append(rule);
    return rules.join(u'\n');
}

} // namespace CustomRuleList
