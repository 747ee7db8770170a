#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <iterator>

// A list of words for a million of them: their characters lie back to back in chunks of a few
// thousand words, so a word costs its characters and four bytes, not a string of its own. Copies
// share the chunks: a copy costs a few hundred references whatever the words, and appending to a
// list that shares them copies its last chunk only, so a copy handed to a worker to read costs the
// list that goes on growing next to nothing.
class WordList
{
public:
    WordList() = default;
    explicit WordList(const QStringList& words);

    void append(QStringView word);
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Valid until the list is appended to.
    QStringView at(qsizetype index) const;
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

    // What is wrong with how the words lie in their chunks, or nothing: for tests, which check it
    // directly rather than meet a fault as a table that can no longer find its keys.
    QString fault() const;

    // Words are put in chunks by their number alone: equal lists have equal chunks.
    friend bool operator==(const WordList& a, const WordList& b) = default;

private:
    static constexpr qsizetype kChunkWords = 4096;
    struct Chunk
    {
        QString units;
        // Where each word ends in units.
        QList<quint32> ends;

        friend bool operator==(const Chunk&, const Chunk&) = default;
    };

    QList<Chunk> m_chunks;
    qsizetype m_size = 0;
};
