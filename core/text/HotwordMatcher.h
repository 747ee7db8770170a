#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

class ComparedText;

// The hotwords prepared for finding them in a transcript: each word is looked up by its
// characters, so a search costs the same for ten words as for thirty thousand. Words come and go
// one by one (a word listed twice is added twice); the matcher knows every word added more often
// than it was removed. The order of the hotword list is not kept here: the rare steps that need it
// ask the list itself.
class HotwordMatcher
{
public:
    HotwordMatcher() = default;
    explicit HotwordMatcher(const QStringList& hotwords);

    void add(const QString& word);
    void remove(const QString& word);
    bool isEmpty() const { return m_echoWords.entries.isEmpty(); }

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
    struct Entry
    {
        int count = 0;
        int asciiStarts = 0; // of count, the words starting with an ASCII character
        QString lowered;
        qsizetype characters = 0;
    };
    // Entries by ComparedText key; the lengths (in characters) of the words they hold, longest
    // first, each with how many words have it.
    struct Words
    {
        QHash<QString, Entry> entries;
        std::map<qsizetype, int, std::greater<>> lengths;
    };

    static void change(Words& words, const QString& key, qsizetype length, int by, bool asciiStart,
                       const QString& lowered);
    // The longest length of words whose entry at position passes accept, or 0.
    template <typename Accept>
    static qsizetype longestAt(const Words& words, const ComparedText& text, qsizetype position, Accept accept,
                               const Entry** found = nullptr);
    void changeWord(const QString& word, int by);

    Words m_echoWords; // every non-empty word as listed
    Words m_runWords;  // trimmed, more than one character
    // normalizeEcho forms, keyed by the form itself, and how many forms have each UTF-16 length.
    QHash<QString, Entry> m_echoForms;
    std::map<qsizetype, int> m_formUnits;
};
