#include "core/store/LexiconRules.h"

#include <algorithm>

LexiconRules::LexiconRules(const QList<LearnedRule>& rules)
{
    for (const LearnedRule& rule : rules)
        append(rule);
}

std::pair<qsizetype, qsizetype> LexiconRules::locate(qsizetype index) const
{
    Q_ASSERT(index >= 0 && index < m_size);
    const qsizetype block = std::upper_bound(m_ends.cbegin(), m_ends.cend(), index) - m_ends.cbegin();
    return {block, index - (m_ends.at(block) - m_blocks.at(block).size())};
}

const LearnedRule& LexiconRules::at(qsizetype index) const
{
    const auto [block, inBlock] = locate(index);
    return m_blocks.at(block).at(inBlock);
}

LearnedRule& LexiconRules::change(qsizetype index)
{
    const auto [block, inBlock] = locate(index);
    return m_blocks[block][inBlock];
}

void LexiconRules::append(LearnedRule rule)
{
    if (m_blocks.isEmpty() || m_blocks.constLast().size() >= kBlockRules) {
        m_blocks.append(QList<LearnedRule>());
        m_blocks.last().reserve(kBlockRules);
        m_ends.append(m_size);
    }
    m_blocks.last().append(std::move(rule));
    ++m_size;
    ++m_ends.last();
}

void LexiconRules::remove(const std::vector<bool>& removed)
{
    Q_ASSERT(qsizetype(removed.size()) == m_size);
    QList<QList<LearnedRule>> blocks;
    QList<qsizetype> ends;
    qsizetype size = 0;
    qsizetype first = 0;
    for (const QList<LearnedRule>& block : std::as_const(m_blocks)) {
        const auto from = removed.cbegin() + first;
        const auto to = from + block.size();
        first += block.size();
        if (std::find(from, to, true) == to) {
            blocks.append(block);
        } else {
            QList<LearnedRule> kept;
            for (qsizetype i = 0; i < block.size(); ++i) {
                if (!from[i])
                    kept.append(block.at(i));
            }
            if (kept.isEmpty())
                continue;
            blocks.append(std::move(kept));
        }
        size += blocks.constLast().size();
        ends.append(size);
    }
    m_blocks = std::move(blocks);
    m_ends = std::move(ends);
    m_size = size;
}

QList<LearnedRule> LexiconRules::toList() const
{
    QList<LearnedRule> out;
    out.reserve(m_size);
    for (const QList<LearnedRule>& block : m_blocks)
        out.append(block);
    return out;
}

bool operator==(const LexiconRules& a, const LexiconRules& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
