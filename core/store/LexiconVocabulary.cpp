#include "core/store/Lexicon.h"

#include "core/store/TextClass.h"
#include "core/text/ComparedText.h"
#include "core/text/Graphemes.h"
#include "core/text/HotwordMatcher.h"

#include <QSet>

#include <algorithm>
#include <limits>

// The recognition vocabulary the lexicon keeps ready for every dictation: rules by hit count,
// the hotword list and the matcher that finds those words in a transcript.

namespace {

bool holdsNumber(const QString& word)
{
    for (const QString& character : Graphemes::split(word)) {
        if (TextClass::isNumeric(TextClass::firstScalar(character)))
            return true;
    }
    return false;
}

} // namespace

QStringList Lexicon::hotwords() const
{
    const auto lock = lockLoaded();
    return topHotwordsLocked(std::numeric_limits<qsizetype>::max(), {});
}

bool Lexicon::listsHotword(const QString& word) const
{
    const auto lock = lockLoaded();
    // The matcher knows every listed text by its compared characters: most words that are not
    // listed are told apart there, without looking through a list that may hold a million.
    if (!m_matcher->lists(word))
        return false;
    const auto isWord = [&word](QStringView text) { return text == word; };
    return std::any_of(m_rules.cbegin(), m_rules.cend(),
                       [&](const StoredRule& stored) { return isWord(stored.rule.right); }) ||
           std::any_of(extraHotwordsLocked().begin(), extraHotwordsLocked().end(), isWord);
}

QStringList Lexicon::topHotwords(qsizetype count) const
{
    const auto lock = lockLoaded();
    return topHotwordsLocked(count, {});
}

QStringList Lexicon::topHotwordsLocked(qsizetype limit, const std::function<bool(const QString&)>& accept) const
{
    QStringList out;
    if (limit <= 0)
        return out;
    const auto take = [&](const QString& word) {
        if (accept && !accept(word))
            return true;
        out.append(word);
        return out.size() < limit;
    };
    // Each text once: the first rule in order with a right keeps its place.
    QSet<QString> seen;
    for (const qsizetype index : m_order) {
        const QString& right = m_rules.at(index).rule.right;
        const QString key = ComparedText::composed(right);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (!take(right))
            return out;
    }
    for (const QStringView view : extraHotwordsLocked()) {
        const QString word = view.toString();
        const QString key = ComparedText::composed(word);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (!take(word))
            return out;
    }
    return out;
}

QStringList Lexicon::asrHotwords() const
{
    // Before the load the lists are empty, and a take must not wait for them.
    QMutexLocker lock(&m_mutex);
    return topHotwordsLocked(kMaxAsrHotwords, [](const QString& word) {
        return Graphemes::count(word) >= 2 && !word.contains(QLatin1Char('@')) && !holdsNumber(word);
    });
}

std::shared_ptr<const HotwordMatcher> Lexicon::hotwordMatcher() const
{
    const auto lock = lockLoaded();
    return m_matcher;
}

HotwordMatcher& Lexicon::matcherForChangeLocked()
{
    // Readers keep the matcher they were handed; only this lock hands one out, so the count
    // cannot grow meanwhile.
    if (m_matcher.use_count() > 1)
        m_matcher = std::make_shared<HotwordMatcher>(*m_matcher);
    return *m_matcher;
}

void Lexicon::rebuildOrderLocked()
{
    m_order.resize(std::size_t(m_rules.size()));
    for (qsizetype i = 0; i < m_rules.size(); ++i)
        m_order[std::size_t(i)] = i;
    std::stable_sort(m_order.begin(), m_order.end(), [this](qsizetype a, qsizetype b) {
        return m_rules.at(a).rule.hitCount > m_rules.at(b).rule.hitCount;
    });
    m_starts.clear();
    for (qsizetype i = 0; i < m_rules.size(); ++i)
        m_starts.append(i, m_rules.at(i).searchKey);
}

void Lexicon::raiseInOrderLocked(qsizetype index)
{
    const auto at = std::find(m_order.begin(), m_order.end(), index);
    if (at == m_order.end())
        return;
    const qint64 count = m_rules.at(index).rule.hitCount;
    // The rules ahead of it that stay ahead: more hits, or as many and stored earlier.
    const auto to = std::partition_point(m_order.begin(), at, [&](qsizetype other) {
        const qint64 hits = m_rules.at(other).rule.hitCount;
        return hits > count || (hits == count && other < index);
    });
    std::rotate(to, at, at + 1);
}
