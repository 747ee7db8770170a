#pragma once

#include "core/store/WordList.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// A table from texts to values for a million keys: the keys' characters lie back to back in one
// buffer and the table finds them by an open-addressed index, so a key costs its characters and a
// few bytes, not a string and a hash node of its own. Entries are numbered; a number stays its
// entry's until that entry is removed, then it may be given to a new key.
//
// A key may also be lent: the table keeps a list of words in order, which only ever grows (the
// owner's word list, lent()), and a key that is one of those words as written costs no characters
// of its own. The lender is the table's own, so every key is read from the text it was made in.
template <typename Value> class KeyTable
{
public:
    KeyTable() = default;
    // A table that lends from words; it holds no key yet.
    explicit KeyTable(WordList words)
        : m_lent(std::move(words))
    {}

    // Room for count more keys of units UTF-16 units in all.
    void reserve(qsizetype count, qsizetype units)
    {
        m_entries.reserve(m_entries.size() + std::size_t(count));
        m_units.reserve(m_units.size() + units);
        growIndexFor(size() + count);
    }
    qsizetype size() const { return qsizetype(m_entries.size() - m_free.size()); }
    // Whether count more keys would make the index grow, which files every key again.
    bool growsFor(qsizetype count) const { return std::size_t(size() + count) * 4 > m_index.size() * 3; }
    bool isEmpty() const { return size() == 0; }

    // The words keys may be lent from.
    const WordList& lent() const { return m_lent; }
    // Appends word to lent(); returns its number there. It is no key until insertLent makes it one.
    qsizetype appendLent(QStringView word)
    {
        m_lent.append(word);
        return m_lent.size() - 1;
    }

    // The entry of key, or -1.
    qsizetype indexOf(QStringView key) const
    {
        if (m_index.empty())
            return -1;
        std::size_t slot = slotOf(key);
        for (std::size_t probes = 0; probes < m_index.size(); ++probes, slot = next(slot)) {
            const quint32 held = m_index[slot];
            if (held == 0)
                return -1;
            if (this->key(held - 1) == key)
                return held - 1;
        }
        broken("an index without a free slot");
    }
    // The entry of key, made with a default value and a copy of key when there was none.
    qsizetype insert(QStringView key)
    {
        if (const qsizetype found = indexOf(key); found >= 0)
            return found;
        const qsizetype entry = add(Entry{quint32(m_units.size()), quint32(key.size()), Value{}});
        m_units.append(key);
        place(quint32(entry));
        return entry;
    }
    // The entry of the key that is lent word number word, made with a default value when there was
    // none; a new key stays in lent().
    qsizetype insertLent(qsizetype word)
    {
        const QStringView key = m_lent.at(word);
        if (const qsizetype found = indexOf(key); found >= 0)
            return found;
        const qsizetype entry = add(Entry{quint32(word), quint32(key.size()) | kLent, Value{}});
        place(quint32(entry));
        return entry;
    }
    void removeAt(qsizetype entry)
    {
        Entry& removed = m_entries[std::size_t(entry)];
        std::size_t slot = slotOf(key(entry));
        for (std::size_t probes = 0; m_index[slot] != quint32(entry) + 1; ++probes, slot = next(slot)) {
            if (probes == m_index.size())
                broken("an entry missing from the index: its key changed since it was placed");
        }
        // Backward-shift deletion: every key after the gap that may fill it moves up, so a search
        // never meets a hole before its key.
        for (std::size_t from = next(slot);; from = next(from)) {
            const quint32 held = m_index[from];
            if (held == 0)
                break;
            const std::size_t home = slotOf(key(held - 1));
            if (((from - home) & mask()) >= ((from - slot) & mask())) {
                m_index[slot] = held;
                slot = from;
            }
        }
        m_index[slot] = 0;
        if ((removed.size & kLent) == 0)
            m_deadUnits += removed.size;
        removed = Entry{kRemoved, 0, Value{}};
        m_free.push_back(quint32(entry));
        if (m_deadUnits > 4096 && m_deadUnits * 2 > m_units.size())
            packUnits();
    }

    QStringView key(qsizetype entry) const
    {
        const Entry& held = m_entries[std::size_t(entry)];
        if (held.size & kLent)
            return m_lent.at(held.offset);
        return QStringView(m_units).sliced(held.offset, held.size);
    }
    Value& value(qsizetype entry) { return m_entries[std::size_t(entry)].value; }
    const Value& value(qsizetype entry) const { return m_entries[std::size_t(entry)].value; }

    // What is wrong with the table's own bookkeeping, or nothing: for tests, which check it after
    // each step rather than meet a fault as a search that never ends.
    QString fault() const
    {
        if (const QString lent = m_lent.fault(); !lent.isEmpty())
            return QStringLiteral("lent words: ") + lent;
        qsizetype used = 0;
        for (std::size_t slot = 0; slot < m_index.size(); ++slot) {
            const quint32 held = m_index[slot];
            if (held == 0)
                continue;
            ++used;
            if (held > m_entries.size() || m_entries[held - 1].offset == kRemoved)
                return QStringLiteral("slot %1 names no entry").arg(slot);
            // Between a key's home slot and its own there is no free slot, or a search stops there.
            for (std::size_t at = slotOf(key(held - 1)); at != slot; at = next(at)) {
                if (m_index[at] == 0)
                    return QStringLiteral("entry %1 lies past a free slot").arg(held - 1);
            }
        }
        if (used != size())
            return QStringLiteral("%1 slots in use for %2 keys").arg(used).arg(size());
        if (!m_index.empty() && std::size_t(used) * 4 > m_index.size() * 3)
            return QStringLiteral("%1 of %2 slots in use").arg(used).arg(m_index.size());
        for (const quint32 entry : m_free) {
            if (m_entries[entry].offset != kRemoved)
                return QStringLiteral("entry %1 is free yet in use").arg(entry);
        }
        return {};
    }

private:
    static constexpr quint32 kRemoved = UINT32_MAX;
    // In an entry's size: its key lies in the owner's text.
    static constexpr quint32 kLent = 0x80000000;

    struct Entry
    {
        // Where the key starts in m_units, or for a lent key the word's number in m_lent.
        quint32 offset = 0;
        quint32 size = 0;
        Value value{};
    };

    [[noreturn]] static void broken(const char* what) { qFatal("KeyTable: %s", what); }
    std::size_t mask() const { return m_index.size() - 1; }
    std::size_t next(std::size_t slot) const { return (slot + 1) & mask(); }
    std::size_t slotOf(QStringView key) const { return qHash(key, QHashSeed::globalSeed()) & mask(); }

    // Takes a free entry number for entry, with room in the index for one more.
    qsizetype add(const Entry& entry)
    {
        growIndexFor(size() + 1);
        quint32 number = 0;
        if (m_free.empty()) {
            number = quint32(m_entries.size());
            m_entries.push_back(entry);
        } else {
            number = m_free.back();
            m_free.pop_back();
            m_entries[number] = entry;
        }
        return number;
    }
    void place(quint32 entry)
    {
        std::size_t slot = slotOf(key(entry));
        for (std::size_t probes = 0; m_index[slot] != 0; ++probes, slot = next(slot)) {
            if (probes == m_index.size())
                broken("an index without a free slot");
        }
        m_index[slot] = entry + 1;
    }
    // At most three quarters of the index in use.
    void growIndexFor(qsizetype count)
    {
        std::size_t wanted = m_index.empty() ? 16 : m_index.size();
        while (std::size_t(count) * 4 > wanted * 3)
            wanted *= 2;
        if (wanted == m_index.size())
            return;
        m_index.assign(wanted, 0);
        for (std::size_t entry = 0; entry < m_entries.size(); ++entry) {
            if (m_entries[entry].offset != kRemoved)
                place(quint32(entry));
        }
    }
    // Drops the characters of removed keys once they are half the buffer.
    void packUnits()
    {
        QString packed;
        packed.reserve(m_units.size() - m_deadUnits);
        for (Entry& entry : m_entries) {
            if (entry.offset == kRemoved || (entry.size & kLent))
                continue;
            const QStringView held = QStringView(m_units).sliced(entry.offset, entry.size);
            entry.offset = quint32(packed.size());
            packed.append(held);
        }
        m_units = std::move(packed);
        m_deadUnits = 0;
    }

    WordList m_lent;
    QString m_units;
    std::vector<Entry> m_entries;
    // Entries of removed keys, to be given to new ones.
    std::vector<quint32> m_free;
    // Entry + 1 per slot, 0 for an empty slot; a power of two in size.
    std::vector<quint32> m_index;
    qsizetype m_deadUnits = 0;
};
