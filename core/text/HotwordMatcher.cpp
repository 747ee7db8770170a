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

void HotwordMatcher::add(const QString& word)
{
    changeWord(word, 1);
}

void HotwordMatcher::remove(const QString& word)
{
    changeWord(word, -1);
}

void HotwordMatcher::changeWord(const QString& word, int by)
{
    if (word.isEmpty())
        return;
    const ComparedText listed(word, true);
    change(m_echoWords, listed.key(0, listed.size()), listed.size(), by, false, QString());

    const QString trimmed = word.trimmed();
    const auto changeRun = [&](const ComparedText& characters) {
        if (characters.size() > 1)
            change(m_runWords, characters.key(0, characters.size()), characters.size(), by,
                   isAscii(characters.written(0)), ComparedText::composed(trimmed.toLower()));
    };
    if (trimmed.size() == word.size())
        changeRun(listed);
    else
        changeRun(ComparedText(trimmed, true));

    const QString form = TranscriptHeuristics::normalizeEcho(word);
    if (!form.isEmpty()) {
        Entry& entry = m_echoForms[form];
        if (entry.count == 0)
            entry.characters = ComparedText::characterCount(form);
        entry.count += by;
        if (entry.count <= 0)
            m_echoForms.remove(form);
        int& ofLength = m_formUnits[form.size()];
        ofLength += by;
        if (ofLength <= 0)
            m_formUnits.erase(form.size());
    }
}

void HotwordMatcher::change(Words& words, const QString& key, qsizetype length, int by, bool asciiStart,
                            const QString& lowered)
{
    Entry& entry = words.entries[key];
    if (entry.count == 0)
        entry.lowered = lowered;
    entry.count += by;
    entry.asciiStarts += asciiStart ? by : 0;
    if (entry.count <= 0)
        words.entries.remove(key);
    int& ofLength = words.lengths[length];
    ofLength += by;
    if (ofLength <= 0)
        words.lengths.erase(length);
}

template <typename Accept>
qsizetype HotwordMatcher::longestAt(const Words& words, const ComparedText& text, qsizetype position, Accept accept,
                                    const Entry** found)
{
    if (words.lengths.empty())
        return 0;
    const qsizetype available = text.size() - position;
    // Keys of the text from position, one character longer each round; looked up only at the
    // lengths some word has, longest first.
    const qsizetype longest = std::min(available, words.lengths.begin()->first);
    if (longest <= 0)
        return 0;
    // The key of the longest stretch, and where each shorter one ends in it.
    QString key;
    std::vector<qsizetype> ends(std::size_t(longest) + 1, 0);
    for (qsizetype n = 1; n <= longest; ++n) {
        text.appendKey(key, position + n - 1);
        ends[std::size_t(n)] = key.size();
    }
    for (auto it = words.lengths.lower_bound(longest); it != words.lengths.end(); ++it) {
        const qsizetype units = ends[std::size_t(it->first)];
        const auto entry = words.entries.constFind(units == key.size() ? key : key.left(units));
        if (entry != words.entries.cend() && accept(*entry, it->first)) {
            if (found)
                *found = &*entry;
            return it->first;
        }
    }
    return 0;
}

qsizetype HotwordMatcher::longestWordAt(const ComparedText& text, qsizetype position) const
{
    return longestAt(m_echoWords, text, position, [](const Entry&, qsizetype) { return true; });
}

std::optional<HotwordMatcher::RunWord> HotwordMatcher::runWordAt(const ComparedText& text, qsizetype position) const
{
    const auto accept = [&](const Entry& entry, qsizetype length) {
        const qsizetype end = position + length;
        const bool runsOn = end < text.size() && isAsciiLetterOrDigit(text.written(end));
        return !runsOn || entry.asciiStarts < entry.count;
    };
    const Entry* found = nullptr;
    const qsizetype length = longestAt(m_runWords, text, position, accept, &found);
    if (length == 0)
        return std::nullopt;
    return RunWord{length, found->lowered};
}

bool HotwordMatcher::coversEcho(QString normalized) const
{
    // The list's way: forms go longest (in characters) first, each taking out all of its
    // occurrences once. Forms of one length go in the order they occur in the text.
    qsizetype longestLeft = std::numeric_limits<qsizetype>::max();
    QSet<QString> taken;
    while (!normalized.isEmpty()) {
        const Entry* best = nullptr;
        QString bestForm;
        for (qsizetype start = 0; start < normalized.size(); ++start) {
            for (const auto& [units, count] : m_formUnits) {
                if (start + units > normalized.size())
                    continue;
                const QString form = normalized.mid(start, units);
                const auto entry = m_echoForms.constFind(form);
                if (entry == m_echoForms.cend() || taken.contains(form) || entry->characters > longestLeft)
                    continue;
                if (!best || entry->characters > best->characters) {
                    best = &*entry;
                    bestForm = form;
                }
            }
        }
        if (!best)
            return false;
        longestLeft = best->characters;
        taken.insert(bestForm);
        normalized.remove(bestForm);
    }
    return true;
}
