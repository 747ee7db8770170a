#pragma once

#include "core/store/LearnedRule.h"

#include <QList>

#include <iterator>

// The lexicon's rules in order, in blocks of at most a thousand that copies share: a copy costs a
// reference per block whatever the rules, and changing a rule of a list that shares its blocks
// copies that rule's block alone. So the lexicon can hand a copy of a hundred thousand rules to its
// readers and to its writer after every change, and a dictation that raises one rule's count does
// not copy the others.
class LexiconRules
{
public:
    LexiconRules() = default;
    explicit LexiconRules(const QList<LearnedRule>& rules);

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    const LearnedRule& at(qsizetype index) const;
    const LearnedRule& operator[](qsizetype index) const { return at(index); }
    const LearnedRule& first() const { return at(0); }
    const LearnedRule& last() const { return at(m_size - 1); }
    // The rule at index, to change: its block is copied first when a copy of the list shares it.
    LearnedRule& change(qsizetype index);
    void append(LearnedRule rule);
    // Removes every rule whose flag in removed (one per rule) is set; blocks without one stay shared.
    void remove(const std::vector<bool>& removed);
    QList<LearnedRule> toList() const;
    // The rules block by block, for work that splits them among threads.
    const QList<QList<LearnedRule>>& blocks() const { return m_blocks; }

    // Rules are put in blocks by how they came and went: equal lists need not have equal blocks.
    friend bool operator==(const LexiconRules& a, const LexiconRules& b);

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = LearnedRule;
        using difference_type = qsizetype;
        using pointer = const LearnedRule*;
        using reference = const LearnedRule&;

        const_iterator() = default;
        const LearnedRule& operator*() const { return m_blocks->at(m_block).at(m_index); }
        const LearnedRule* operator->() const { return &**this; }
        const_iterator& operator++()
        {
            if (++m_index == m_blocks->at(m_block).size()) {
                ++m_block;
                m_index = 0;
            }
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;

    private:
        friend class LexiconRules;
        const_iterator(const QList<QList<LearnedRule>>* blocks, qsizetype block)
            : m_blocks(blocks)
            , m_block(block)
        {}
        const QList<QList<LearnedRule>>* m_blocks = nullptr;
        qsizetype m_block = 0;
        qsizetype m_index = 0;
    };
    const_iterator begin() const { return {&m_blocks, 0}; }
    const_iterator end() const { return {&m_blocks, m_blocks.size()}; }

private:
    static constexpr qsizetype kBlockRules = 1024;
    // The block that holds index, and where index lies in it.
    std::pair<qsizetype, qsizetype> locate(qsizetype index) const;

    // Never an empty block.
    QList<QList<LearnedRule>> m_blocks;
    // Where each block ends: the index after its last rule.
    QList<qsizetype> m_ends;
    qsizetype m_size = 0;
};
