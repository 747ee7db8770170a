#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <iterator>
#include <vector>

// A list of words for a million of them: their characters lie back to back in one buffer, so a
// word costs its characters and four bytes, not a string of its own.
class WordList
{
public:
    WordList() = default;
    explicit WordList(const QStringList& words);

    // Room for count more words of units UTF-16 units in all.
    void reserve(qsizetype count, qsizetype units);
    void append(QStringView word);
    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    QStringView at(qsizetype index) const;
    // Every word, back to back.
    QStringView text() const { return m_units; }
    QStringList toStringList() const;

    // The words as a compact JSON array, byte for byte what QJsonDocument writes for them, written
    // straight after out's end.
    void appendJson(QByteArray& out) const;

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QStringView;
        using difference_type = qsizetype;
        using pointer = void;
        using reference = QStringView;

        const_iterator() = default;
        QStringView operator*() const { return m_list->at(m_index); }
        const_iterator& operator++()
        {
            ++m_index;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++m_index;
            return before;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;

    private:
        friend class WordList;
        const_iterator(const WordList* list, qsizetype index)
            : m_list(list)
            , m_index(index)
        {}
        const WordList* m_list = nullptr;
        qsizetype m_index = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    friend bool operator==(const WordList& a, const WordList& b)
    {
        return a.m_units == b.m_units && a.m_ends == b.m_ends;
    }

private:
    QString m_units;
    // Where each word ends in m_units.
    std::vector<quint32> m_ends;
};
