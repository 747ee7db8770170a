#pragma once

#include <QHash>
#include <QString>

#include <vector>

// Where the lexicon's rules may hit: each rule filed under the first two UTF-16 units of its
// search key (the first one for a key of one unit), so that running the rules over a transcript
// looks only at rules whose start occurs in it, not at every rule of a lexicon of thousands.
class RuleStarts
{
public:
    void clear() { m_rules.clear(); }
    // Rule index, whose search key is key, appended after every rule filed so far.
    void append(qsizetype index, const QString& key);
    // After rules were removed: moved holds each filed rule's new index, or -1 for one that went.
    // The new indices keep the order of the old ones.
    void renumber(const std::vector<qsizetype>& moved);

    // The rules, in stored order and each once, after index after whose key's start occurs in
    // text (a search key form). Every rule whose key text contains is among them.
    std::vector<qsizetype> candidates(const QString& text, qsizetype after) const;

private:
    static quint32 start(const QChar* units, qsizetype available);

    QHash<quint32, std::vector<qsizetype>> m_rules;
};
