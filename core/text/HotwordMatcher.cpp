#include "core/text/HotwordMatcher.h"

#include "core/text/ComparedText.h"
#include "core/text/TranscriptHeuristics.h"

#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// A character made of exactly one scalar below 128.
bool isAscii(QStringView character)
{
    return character.size() == 1 && character.front().unicode() < 128;
}

bool isAsciiLetterOrDigit(QStringView character)
{
    return isAscii(character) && character.front().isLetterOrNumber();
}

} // namespace

HotwordMatcher::HotwordMatcher(const QStringList& hotwords)
{
    for (const QString& word : hotwords)
        add(word);
}

HotwordMatcher::HotwordMatcher(WordList words)
    : m_words(std::move(words))
{
    const qsizetype count = m_words.lent().size();
    m_words.reserve(count, 0);
    for (qsizetype i = 0; i < count; ++i)
        changeWord(m_words.lent().at(i).toString(), 1, i);
}

void HotwordMatcher::append(const QString& word)
{
    changeWord(word, 1, m_words.appendLent(word));
}

void HotwordMatcher::add(const QString& word)
{
    changeWord(word, 1);
}

void HotwordMatcher::remove(const QString& word)
{
    changeWord(word, -1);
}

bool HotwordMatcher::lists(const QString& word) const
{
    QString key;
    if (ComparedText::isPlain(word)) {
        key = word.toLower();
    } else {
        const ComparedText compared(word, true);
        key = compared.key(0, compared.size());
    }
    const qsizetype entry = m_words.indexOf(key);
    return entry >= 0 && entryAt(entry).listed > 0;
}

void HotwordMatcher::changeWord(const QString& word, int by, qsizetype listedAt)
{
    if (word.isEmpty())
        return;
    const QString trimmed = word.trimmed();
    qsizetype listedSize = 0;
    qsizetype runSize = 0;
    QString listedKey;
    QString runKey;
    bool asciiStart = false;
    if (ComparedText::isPlain(word)) {
        // Every unit a character that compares as its lower case: the key is the text itself.
        // Tens of thousands of words are added this way at every start.
        listedSize = word.size();
        runSize = trimmed.size();
        listedKey = word.toLower();
        runKey = trimmed.size() == word.size() ? listedKey : trimmed.toLower();
        asciiStart = runSize > 0 && trimmed.front().unicode() < 128;
    } else {
        const ComparedText listed(word, true);
        listedSize = listed.size();
        listedKey = listed.key(0, listed.size());
        runSize = listedSize;
        runKey = listedKey;
        const auto takeRun = [&](const ComparedText& run) {
            runSize = run.size();
            asciiStart = run.size() > 0 && isAscii(run.written(0));
        };
        if (trimmed.size() != word.size()) {
            const ComparedText run(trimmed, true);
            takeRun(run);
            runKey = run.key(0, run.size());
        } else {
            takeRun(listed);
        }
    }
    const bool isRun = runSize > 1;

    const auto changeEntry = [&](const QString& key, int listedBy, int runBy, int formBy) {
        const qsizetype index = listedAt >= 0 && key == word ? m_words.insertLent(listedAt) : m_words.insert(key);
        Entry entry = entryAt(index);
        if (runBy > 0 && entry.runs == 0) {
            QString lowered = ComparedText::composed(trimmed.toLower());
            if (lowered != key)
                m_loweredApart.insert(index, std::move(lowered));
        }
        entry.listed += listedBy;
        entry.runs += runBy;
        entry.asciiStarts += asciiStart ? runBy : 0;
        entry.forms += formBy;
        if (entry.runs <= 0)
            m_loweredApart.remove(index);
        if (entry.listed > 0 || entry.runs > 0 || entry.forms > 0) {
            store(index, entry);
        } else {
            m_manyWords.remove(index);
            m_words.removeAt(index);
        }
    };
    if (runKey == listedKey) {
        changeEntry(listedKey, by, isRun ? by : 0, 0);
    } else {
        changeEntry(listedKey, by, 0, 0);
        if (isRun)
            changeEntry(runKey, 0, by, 0);
    }
    count(m_listedLengths, listedSize, by);
    if (isRun)
        count(m_runLengths, runSize, by);

    const QString form = TranscriptHeuristics::normalizeEcho(word);
    if (form.isEmpty())
        return;
    count(m_formUnits, form.size(), by);
    // A plain word of letters and digits is its own form, and its entry counts it: a lexicon of
    // tens of thousands needs no second table for them.
    if (form == listedKey && ComparedText::isPlain(word)) {
        changeEntry(listedKey, 0, 0, by);
        return;
    }
    Form& entry = m_echoForms[form];
    if (entry.count == 0)
        entry.characters = ComparedText::characterCount(form);
    entry.count += by;
    if (entry.count <= 0)
        m_echoForms.remove(form);
}

HotwordMatcher::Entry HotwordMatcher::entryAt(qsizetype index) const
{
    const SmallEntry& small = m_words.value(index);
    if (small.listed == kMany)
        return m_manyWords.value(index);
    return Entry{small.listed, small.runs, small.asciiStarts, small.forms};
}

void HotwordMatcher::store(qsizetype index, const Entry& entry)
{
    SmallEntry& small = m_words.value(index);
    if (entry.listed < kMany && entry.runs < kMany && entry.asciiStarts < kMany && entry.forms < kMany) {
        small = SmallEntry{quint8(entry.listed), quint8(entry.runs), quint8(entry.asciiStarts), quint8(entry.forms)};
        m_manyWords.remove(index);
    } else {
        small = SmallEntry{quint8(kMany), 0, 0, 0};
        m_manyWords.insert(index, entry);
    }
}

void HotwordMatcher::count(Lengths& lengths, qsizetype length, int by)
{
    int& ofLength = lengths[length];
    ofLength += by;
    if (ofLength <= 0)
        lengths.erase(length);
}

template <typename Accept>
qsizetype HotwordMatcher::longestAt(const Lengths& lengths, const ComparedText& text, qsizetype position, Accept accept,
                                    qsizetype* found) const
{
    if (lengths.empty())
        return 0;
    const qsizetype available = text.size() - position;
    const qsizetype longest = std::min(available, lengths.begin()->first);
    if (longest <= 0)
        return 0;
    // The key of the longest stretch, and where each shorter one ends in it.
    QString key;
    std::vector<qsizetype> ends(std::size_t(longest) + 1, 0);
    for (qsizetype n = 1; n <= longest; ++n) {
        text.appendKey(key, position + n - 1);
        ends[std::size_t(n)] = key.size();
    }
    for (auto it = lengths.lower_bound(longest); it != lengths.end(); ++it) {
        const qsizetype units = ends[std::size_t(it->first)];
        const qsizetype entry = m_words.indexOf(QStringView(key).first(units));
        if (entry >= 0 && accept(entryAt(entry), it->first)) {
            if (found)
                *found = entry;
            return it->first;
        }
    }
    return 0;
}

qsizetype HotwordMatcher::longestWordAt(const ComparedText& text, qsizetype position) const
{
    return longestAt(m_listedLengths, text, position, [](const Entry& entry, qsizetype) { return entry.listed > 0; });
}

std::optional<HotwordMatcher::RunWord> HotwordMatcher::runWordAt(const ComparedText& text, qsizetype position) const
{
    const auto accept = [&](const Entry& entry, qsizetype length) {
        const qsizetype end = position + length;
        const bool runsOn = end < text.size() && isAsciiLetterOrDigit(text.written(end));
        return entry.runs > 0 && (!runsOn || entry.asciiStarts < entry.runs);
    };
    qsizetype found = -1;
    const qsizetype length = longestAt(m_runLengths, text, position, accept, &found);
    if (length == 0)
        return std::nullopt;
    const auto apart = m_loweredApart.constFind(found);
    return RunWord{length, apart != m_loweredApart.cend() ? *apart : m_words.key(found).toString()};
}

qsizetype HotwordMatcher::formCharacters(const QString& form) const
{
    const auto entry = m_echoForms.constFind(form);
    if (entry != m_echoForms.cend())
        return entry->characters;
    const qsizetype word = m_words.indexOf(form);
    return word >= 0 && entryAt(word).forms > 0 ? form.size() : 0;
}

bool HotwordMatcher::coversEcho(QString normalized) const
{
    // The list's way: forms go longest (in characters) first, each taking out all of its
    // occurrences once. Forms of one length go in the order they occur in the text.
    qsizetype longestLeft = std::numeric_limits<qsizetype>::max();
    QSet<QString> taken;
    while (!normalized.isEmpty()) {
        qsizetype best = 0;
        QString bestForm;
        for (qsizetype start = 0; start < normalized.size(); ++start) {
            for (const auto& [units, count] : m_formUnits) {
                if (start + units > normalized.size())
                    continue;
                const QString form = normalized.mid(start, units);
                const qsizetype characters = formCharacters(form);
                if (characters == 0 || characters > longestLeft || taken.contains(form))
                    continue;
                if (characters > best) {
                    best = characters;
                    bestForm = form;
                }
            }
        }
        if (best == 0)
            return false;
        longestLeft = best;
        taken.insert(bestForm);
        normalized.remove(bestForm);
    }
    return true;
}
