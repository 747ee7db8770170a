#pragma once

#include "core/store/WordList.h"
#include "core/text/KeyTable.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

class ComparedText;

// The hotwords prepared for finding them in a transcript: each word is looked up by its
// characters, so a search costs the same for ten words as for thirty thousand. Words come and go
// one by one (a word listed twice is added twice); the matcher knows every word added more often
// than it was removed.
//
// Words that only ever come, a lexicon's extra hotwords, are kept here in order as well, as a
// word list (words()): a million of them are mostly their own keys, and their characters are not
// kept twice.
class HotwordMatcher
{
public:
    HotwordMatcher() = default;
    explicit HotwordMatcher(const QStringList& hotwords);
    // A matcher of words, kept as its list.
    explicit HotwordMatcher(WordList words);

    // Room for count more words of units UTF-16 units in all, before adding many.
    void reserve(qsizetype count, qsizetype units) { m_words.reserve(count, units); }
    // Whether adding count words may take time in proportion to every word there is.
    bool growsFor(qsizetype count) const { return m_words.growsFor(count); }
    void add(const QString& word);
    void remove(const QString& word);
    // Adds word, and keeps it at the end of words().
    void append(const QString& word);
    const WordList& words() const { return m_words.lent(); }
    bool isEmpty() const { return m_words.isEmpty(); }
    // Whether a word written as word is known, in any letter case: whatever is canonically
    // equal to a known word is.
    bool lists(const QString& word) const;

    // The character count of the longest non-empty word written at position (any letter case),
    // or 0.
    qsizetype longestWordAt(const ComparedText& text, qsizetype position) const;

    struct RunWord
    {
        qsizetype size = 0;
        // The word trimmed and lower-cased, to find it in the list.
        QString lowered;
    };
    // The longest word of more than one character (trimmed) written at position, any letter
    // case; a word starting with an ASCII character must not run on into more ASCII letters or
    // digits ("Go" is not in "Google").
    std::optional<RunWord> runWordAt(const ComparedText& text, qsizetype position) const;

    // Whether text is nothing but the words, each in the normalizeEcho form, where they occur:
    // the longest are taken out first.
    bool coversEcho(QString normalized) const;

private:
    // The words with one ComparedText key: how many are listed as they are, how many are run
    // words (trimmed, more than one character) and how many of those start with an ASCII
    // character. Most words are both, under one key.
    struct Entry
    {
        int listed = 0;
        int runs = 0;
        int asciiStarts = 0;
        // Plain words whose normalizeEcho form is this key.
        int forms = 0;
    };
    // An Entry as the table keeps it: a byte per count, since nearly every key has one word. A
    // key with kMany or more words of a kind keeps its counts in m_manyWords.
    struct SmallEntry
    {
        quint8 listed = 0;
        quint8 runs = 0;
        quint8 asciiStarts = 0;
        quint8 forms = 0;
    };
    static constexpr int kMany = 255;
    // Word lengths in characters, longest first, each with how many words have it.
    using Lengths = std::map<qsizetype, int, std::greater<>>;
    struct Form
    {
        int count = 0;
        qsizetype characters = 0;
    };

    static void count(Lengths& lengths, qsizetype length, int by);
    // The longest of lengths whose word at position passes accept, or 0.
    template <typename Accept>
    qsizetype longestAt(const Lengths& lengths, const ComparedText& text, qsizetype position, Accept accept,
                        qsizetype* found = nullptr) const;
    // listedAt: word's number in words(), when it is one of them.
    void changeWord(const QString& word, int by, qsizetype listedAt = -1);
    Entry entryAt(qsizetype index) const;
    void store(qsizetype index, const Entry& entry);
    // The characters of a word's normalizeEcho form, or 0 when no word has it.
    qsizetype formCharacters(const QString& form) const;

    // A million words of a large lexicon are kept here, each as its key's characters and counts;
    // a key that is one of words() as written is lent from there.
    KeyTable<SmallEntry> m_words;
    QHash<qsizetype, Entry> m_manyWords;
    // The run word's trimmed, lower-cased text by entry, where it is not the key itself (the key
    // folds more than letter case).
    QHash<qsizetype, QString> m_loweredApart;
    Lengths m_listedLengths;
    Lengths m_runLengths;
    // normalizeEcho forms other than the plain words' own, keyed by the form itself, and how
    // many forms (these and the plain words') have each UTF-16 length.
    QHash<QString, Form> m_echoForms;
    Lengths m_formUnits;
};
