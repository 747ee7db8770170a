#include "core/store/RuleStarts.h"

#include <algorithm>

quint32 RuleStarts::start(const QChar* units, qsizetype available)
{
    // A one-unit start has the top half set, which no pair of units starting below U+FFFF has.
    if (available == 1)
        return 0xFFFF0000u | units[0].unicode();
    return (quint32(units[0].unicode()) << 16) | units[1].unicode();
}

void RuleStarts::append(qsizetype index, const QString& key)
{
    if (key.isEmpty())
        return;
    m_rules[start(key.constData(), std::min<qsizetype>(key.size(), 2))].push_back(index);
}

void RuleStarts::renumber(const std::vector<qsizetype>& moved)
{
    for (auto it = m_rules.begin(); it != m_rules.end();) {
        std::vector<qsizetype>& rules = it.value();
        auto out = rules.begin();
        for (const qsizetype index : rules) {
            if (moved[std::size_t(index)] >= 0)
                *out++ = moved[std::size_t(index)];
        }
        rules.erase(out, rules.end());
        it = rules.empty() ? m_rules.erase(it) : std::next(it);
    }
}

std::vector<qsizetype> RuleStarts::candidates(const QString& text, qsizetype after) const
{
    std::vector<qsizetype> out;
    if (m_rules.isEmpty())
        return out;
    const auto take = [&](quint32 key) {
        const auto found = m_rules.constFind(key);
        if (found == m_rules.cend())
            return;
        // Filed in stored order: only the tail after after is wanted.
        const std::vector<qsizetype>& rules = *found;
        out.insert(out.end(), std::upper_bound(rules.begin(), rules.end(), after), rules.end());
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        take(start(text.constData() + i, 1));
        if (i + 1 < text.size())
            take(start(text.constData() + i, 2));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}
