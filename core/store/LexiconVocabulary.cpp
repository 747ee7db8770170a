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
    return topHotwordsOf(*loadedView(), std::numeric_limits<qsizetype>::max(), {});
}

bool Lexicon::listsHotword(const QString& word) const
{
    // The matcher knows every listed text by its compared characters: most words that are not
    // listed are told apart there, without looking through a list that may hold a million.
    if (!hotwordMatcher()->lists(word))
        return false;
    const std::shared_ptr<const View> view = this->view();
    const auto isWord = [&word](QStringView text) { return text == word; };
    return std::any_of(view->rules.begin(), view->rules.end(),
                       [&](const LearnedRule& rule) { return isWord(rule.right); }) ||
           std::any_of(view->extraHotwords.begin(), view->extraHotwords.end(), isWord);
}

QStringList Lexicon::topHotwords(qsizetype count) const
{
    return topHotwordsOf(*loadedView(), count, {});
}

QStringList Lexicon::topHotwordsOf(const View& view, qsizetype limit, const std::function<bool(const QString&)>& accept)
{
    QStringList out;
    if (limit <= 0)
        return out;
    // A word accept refuses still counts against what is looked at: a lexicon whose first thousands
    // of words all hold numbers must not cost a take's start a look at every one of a million.
    qsizetype looked = 0;
    const auto take = [&](const QString& word) {
        if (accept && !accept(word))
            return ++looked < kMaxAsrLooked;
        out.append(word);
        return out.size() < limit;
    };
    // Each text once: the first rule in order with a right keeps its place.
    QSet<QString> seen;
    for (const qsizetype index : *view.order) {
        const QString& right = view.rules.at(index).right;
        const QString key = ComparedText::composed(right);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (!take(right))
            return out;
    }
    for (const QStringView listed : view.extraHotwords) {
        const QString word = listed.toString();
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
    // Before the load the view is empty, and a take must not wait for it.
    return topHotwordsOf(*view(), kMaxAsrHotwords, [](const QString& word) {
        return Graphemes::count(word) >= 2 && !word.contains(QLatin1Char('@')) && !holdsNumber(word);
    });
}

std::shared_ptr<const HotwordMatcher> Lexicon::hotwordMatcher() const
{
    waitUntilLoaded();
    const std::lock_guard viewLock(m_viewMutex);
    return m_matcher;
}

void Lexicon::editMatcherLocked(const Held& held, qsizetype words, const std::function<void(HotwordMatcher&)>& edit)
{
    Q_ASSERT(held.isLocked() && held.mutex() == &m_mutex);
    if (!m_nextMatcher) {
        // Readers are handed the matcher under the readers' lock only, and keep what they were
        // handed: when none holds it, nobody can read it while that lock is held, and a small edit
        // is made in place there. A large one would hold readers up: it changes a copy, which the
        // step publishes. So would one that makes the matcher file every word again.
        if (words <= kInPlaceWords && !m_matcher->growsFor(words)) {
            const std::lock_guard viewLock(m_viewMutex);
            if (m_matcher.use_count() == 1) {
                // Whatever the last reader did with it happened before it let go.
                std::atomic_thread_fence(std::memory_order_acquire);
                edit(*m_matcher);
                return;
            }
        }
        m_nextMatcher = std::make_shared<HotwordMatcher>(*m_matcher);
    }
    edit(*m_nextMatcher);
}

const HotwordMatcher& Lexicon::matcherLocked(const Held&) const
{
    return m_nextMatcher ? *m_nextMatcher : *m_matcher;
}

std::vector<qsizetype>& Lexicon::orderForChangeLocked(const Held&)
{
    // The last view holds it, and readers may hold older ones; once none does, whatever they read
    // of it happened before they let go.
    if (m_order.use_count() > 1)
        m_order = std::make_shared<std::vector<qsizetype>>(*m_order);
    else
        std::atomic_thread_fence(std::memory_order_acquire);
    return *m_order;
}

void Lexicon::rebuildOrderLocked(const Held& held)
{
    std::vector<qsizetype>& order = orderForChangeLocked(held);
    order.resize(std::size_t(m_rules.size()));
    for (qsizetype i = 0; i < m_rules.size(); ++i)
        order[std::size_t(i)] = i;
    // The counts in one array: looking each up in the rules' blocks would cost the sort a search per
    // comparison.
    std::vector<qint64> hits;
    hits.reserve(std::size_t(m_rules.size()));
    for (const LearnedRule& rule : m_rules)
        hits.push_back(rule.hitCount);
    std::stable_sort(order.begin(), order.end(),
                     [&hits](qsizetype a, qsizetype b) { return hits[std::size_t(a)] > hits[std::size_t(b)]; });
    m_starts.clear();
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        m_starts.append(qsizetype(i), m_keys[i].searchKey);
}

void Lexicon::raiseInOrderLocked(const Held& held, qsizetype index)
{
    std::vector<qsizetype>& order = orderForChangeLocked(held);
    const auto at = std::find(order.begin(), order.end(), index);
    if (at == order.end())
        return;
    const qint64 count = m_rules.at(index).hitCount;
    // The rules ahead of it that stay ahead: more hits, or as many and stored earlier.
    const auto to = std::partition_point(order.begin(), at, [&](qsizetype other) {
        const qint64 hits = m_rules.at(other).hitCount;
        return hits > count || (hits == count && other < index);
    });
    std::rotate(to, at, at + 1);
}
