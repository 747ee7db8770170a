#include "core/store/Lexicon.h"

#include "core/async/BulkPool.h"
#include "core/async/PostToThread.h"
#include "core/store/LexiconImport.h"
#include "core/store/RuleReplacement.h"
#include "core/store/StoreFile.h"
#include "core/store/TextClass.h"
#include "core/text/ComparedText.h"
#include "core/text/HotwordMatcher.h"
#include "platform/FreedMemory.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

const QString kSeedSource = QStringLiteral("seed");
const QString kUserAddedSource = QStringLiteral("user_added");
const QString kManualEditSource = QStringLiteral("manual_edit");
const QString kAutoEditSource = QStringLiteral("auto_edit");

} // namespace

Lexicon::RuleKey::RuleKey(const LearnedRule& rule)
    : RuleKey(rule, RuleReplacement::searchKey(rule.wrong))
{}

Lexicon::RuleKey::RuleKey(const LearnedRule& rule, QString key)
    : searchKey(std::move(key))
    , ascii(TextClass::isAscii(rule.wrong))
{}

Lexicon::Lexicon(const QString& directory, FreedMemory* freedMemory, QThreadPool* loader)
    : m_fileURL(QDir(directory).filePath(kFileName))
    , m_freedMemory(freedMemory)
    , m_order(std::make_shared<std::vector<qsizetype>>())
    , m_matcher(std::make_shared<HotwordMatcher>())
    , m_view(std::make_shared<View>(View{{}, m_order, {}}))
    , m_loader(loader ? loader : &m_worker)
{
    m_worker.setMaxThreadCount(1);
    m_loadPromise.start();
    m_loading = m_loadPromise.future();
    // Not before the event loop turns: read alongside the program's start, a large file slows its
    // window down. The queued call goes with the lexicon.
    postTo(this, [this] { startLoading(); });
}

Lexicon::~Lexicon()
{
    if (m_loadStarted)
        m_run.waitForFinished();
    // The writes still queued hold the last changes.
    m_worker.waitForDone();
}

void Lexicon::startLoading() const
{
    std::call_once(m_startOnce, [this] {
        auto* self = const_cast<Lexicon*>(this);
        m_run = QtConcurrent::run(m_loader, [self] { self->load(); });
        m_loadStarted = true;
    });
}

void Lexicon::waitUntilLoaded() const
{
    if (m_loaded)
        return;
    // Whoever waits starts the load, and runs it itself when no thread of the loader has taken it
    // up yet: the lexicon's own thread may be waiting for this one, and then its event loop never
    // turns to start it, nor is a loader busy with waiters free to.
    startLoading();
    m_run.waitForFinished();
}

void Lexicon::load()
{
    // Everything is read and prepared before the lock is taken: nothing else touches the lexicon
    // before the load is over, and a reader of isLoaded() never meets the lock held for long.
    LexiconRules rules;
    std::vector<RuleKey> keys;
    WordList extraHotwords;
    qsizetype fileBytes = 0;
    if (std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_fileURL)) {
        fileBytes = bytes->size();
        const bool blank = std::all_of(bytes->cbegin(), bytes->cend(), [](char c) { return QChar::isSpace(uchar(c)); });
        // The file's bytes go once read, before the rules are made from them.
        if (std::optional<LexiconSnapshot> snapshot = LexiconSnapshot::decode(*std::exchange(bytes, std::nullopt))) {
            rules = std::move(snapshot->rules);
            keys.reserve(std::size_t(rules.size()));
            for (const LearnedRule& rule : rules)
                keys.emplace_back(rule);
            extraHotwords = std::move(snapshot->hotwords);
        } else if (!blank) {
            // An empty file holds nothing worth keeping; anything else the user may want back.
            const QString kept = StoreFile::quarantine(m_fileURL);
            std::printf("lexicon: %s could not be decoded; kept as %s\n", qPrintable(m_fileURL), qPrintable(kept));
        }
    }
    auto matcher = std::make_shared<HotwordMatcher>(std::move(extraHotwords));
    qsizetype units = 0;
    for (const LearnedRule& rule : rules)
        units += rule.right.size();
    matcher->reserve(rules.size(), units);
    for (const LearnedRule& rule : rules)
        matcher->add(rule.right);
    {
        const Held held(&m_mutex);
        m_rules = std::move(rules);
        m_keys = std::move(keys);
        {
            // Nobody has been handed the empty matcher yet but a reader in passing.
            const std::lock_guard viewLock(m_viewMutex);
            m_matcher = std::move(matcher);
        }
        m_ruleCount = m_rules.size();
        rebuildOrderLocked(held);
        publishLocked(held);
        m_loaded = true;
        announceChange();
    }
    m_loadPromise.finish();
    // Reading a large file passes through several times its size in small pieces.
    if (fileBytes >= kLargeLexiconBytes && m_freedMemory)
        m_freedMemory->giveBack();
}

Lexicon::Held Lexicon::lockLoaded() const
{
    waitUntilLoaded();
    return Held(&m_mutex);
}

std::shared_ptr<const Lexicon::View> Lexicon::view() const
{
    const std::lock_guard viewLock(m_viewMutex);
    return m_view;
}

std::shared_ptr<const Lexicon::View> Lexicon::loadedView() const
{
    waitUntilLoaded();
    return view();
}

void Lexicon::publishLocked(const Held& held)
{
    Q_ASSERT(held.isLocked() && held.mutex() == &m_mutex);
    std::shared_ptr<const View> next = std::make_shared<View>(View{m_rules, m_order, matcherLocked(held).words()});
    std::shared_ptr<HotwordMatcher> replaced;
    {
        const std::lock_guard viewLock(m_viewMutex);
        m_view.swap(next);
        if (m_nextMatcher)
            replaced = std::exchange(m_matcher, std::exchange(m_nextMatcher, nullptr));
    }
    // The view and matcher replaced, when nobody else holds them, go here, outside the readers'
    // lock.
}

bool Lexicon::isRefused(const QString& wrong, const QString& right, const QString& source)
{
    if (isBadRule(wrong, right))
        return true;
    const bool learnt = source == kManualEditSource || source == kAutoEditSource;
    return learnt && Corrections::isCommonLatinWord(wrong);
}

void Lexicon::setRightLocked(const Held& held, qsizetype index, const QString& right)
{
    const QString before = m_rules.at(index).right;
    editMatcherLocked(held, 2, [&](HotwordMatcher& matcher) {
        matcher.remove(before);
        matcher.add(right);
    });
    m_rules.change(index).right = right;
}

void Lexicon::appendRuleLocked(const Held& held, LearnedRule rule, QString searchKey)
{
    editMatcherLocked(held, 1, [&rule](HotwordMatcher& matcher) { matcher.add(rule.right); });
    m_keys.emplace_back(rule, std::move(searchKey));
    m_rules.append(std::move(rule));
    m_ruleCount = m_rules.size();
}

QList<LearnedRule> Lexicon::allRules() const
{
    return loadedView()->rules.toList();
}

qsizetype Lexicon::ruleCount() const
{
    waitUntilLoaded();
    return m_ruleCount;
}

void Lexicon::announceChange() const
{
    if (m_changeAnnounced.exchange(true))
        return;
    // Queued even from the lexicon's own thread: the caller holds the lock, which a receiver
    // reading the lexicon would need. Dropped with the lexicon if it goes first.
    auto* self = const_cast<Lexicon*>(this);
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->m_changeAnnounced = false;
            Q_EMIT self->changed();
        },
        Qt::QueuedConnection);
}

qsizetype Lexicon::indexOfWrongLocked(const Held&, const QString& wrong) const
{
    const QString key = RuleReplacement::searchKey(wrong);
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].searchKey == key)
            return qsizetype(i);
    }
    return -1;
}

namespace {

// Whether a stored word is canonically equal to a word whose canonical key is given: for a few
// words the stored list, which may hold a million, is looked through; for many, the stored words
// are filed once by their keys' hashes, sixteen bytes a word rather than a key of each.
class StoredKeys
{
public:
    StoredKeys(const WordList& stored, qsizetype lookups)
        : m_stored(stored)
        , m_filed(lookups > 64)
    {}

    bool contains(const QString& key)
    {
        if (!m_filed) {
            return std::any_of(m_stored.begin(), m_stored.end(),
                               [&key](QStringView word) { return TextClass::canonicalKey(word.toString()) == key; });
        }
        if (m_byHash.empty() && !m_stored.isEmpty()) {
            m_byHash.reserve(std::size_t(m_stored.size()));
            for (qsizetype i = 0; i < m_stored.size(); ++i)
                m_byHash.emplace_back(qHash(TextClass::canonicalKey(m_stored.at(i).toString())), i);
            std::sort(m_byHash.begin(), m_byHash.end());
        }
        const std::size_t hash = qHash(key);
        auto at = std::lower_bound(m_byHash.cbegin(), m_byHash.cend(), std::pair<std::size_t, qsizetype>(hash, 0));
        for (; at != m_byHash.cend() && at->first == hash; ++at) {
            if (TextClass::canonicalKey(m_stored.at(at->second).toString()) == key)
                return true;
        }
        return false;
    }

private:
    const WordList& m_stored;
    const bool m_filed;
    std::vector<std::pair<std::size_t, qsizetype>> m_byHash;
};

QString textOf(const QString& word)
{
    return word;
}

QString textOf(QStringView word)
{
    return word.toString();
}

} // namespace

template <typename Words> QStringList Lexicon::newHotwordsLocked(const Held& held, const Words& words) const
{
    // Each word by its canonical key, each key once, and only new words' keys are kept. Only a word
    // the matcher lists can be canonically equal to a stored one.
    StoredKeys stored(extraHotwordsLocked(held), words.size());
    QSet<QString> newKeys;
    QStringList out;
    for (const auto& written : words) {
        const QString word = textOf(written);
        QString key = TextClass::canonicalKey(word);
        if (newKeys.contains(key) || (matcherLocked(held).lists(word) && stored.contains(key)))
            continue;
        newKeys.insert(std::move(key));
        out.append(word);
    }
    return out;
}

std::optional<int> Lexicon::merge(const QByteArray& remoteData)
{
    const std::optional<LexiconSnapshot> remote = LexiconSnapshot::decodeServiceText(remoteData);
    if (!remote)
        return std::nullopt;
    const Held held = lockLoaded();
    // Looked up by key, as an import does: tens of thousands on each side must not cost their
    // product, at every start.
    QSet<QString> ruleKeys;
    ruleKeys.reserve(m_rules.size() + remote->rules.size());
    for (const RuleKey& stored : m_keys)
        ruleKeys.insert(stored.searchKey);
    int added = 0;
    for (const LearnedRule& rule : remote->rules) {
        QString key = RuleReplacement::searchKey(rule.wrong);
        if (ruleKeys.contains(key) || isRefused(rule.wrong, rule.right, rule.source))
            continue;
        ruleKeys.insert(key);
        appendRuleLocked(held, rule, std::move(key));
        ++added;
    }
    for (const QString& word : newHotwordsLocked(held, remote->hotwords)) {
        appendHotwordLocked(held, word);
        ++added;
    }
    if (added > 0) {
        rebuildOrderLocked(held);
        saveLocked(held);
    }
    // Reading the account's copy passes through several times its size in small pieces.
    giveBackFreedSoon(remoteData.size());
    return added;
}

QString Lexicon::apply(const QString& text)
{
    const Held held = lockLoaded();
    if (m_rules.isEmpty())
        return text;
    QString current = text;
    QString currentKey = RuleReplacement::searchKey(current);
    bool hit = false;
    // Only rules whose start occurs in the text are looked at; after a hit the text is new, and
    // the rules after the one that hit are looked up again.
    std::vector<qsizetype> candidates = m_starts.candidates(currentKey, -1);
    std::size_t at = 0;
    while (at < candidates.size()) {
        const qsizetype index = candidates[at++];
        RuleKey& stored = m_keys[std::size_t(index)];
        if (stored.searchKey.isEmpty() || !currentKey.contains(stored.searchKey))
            continue;
        const LearnedRule& rule = m_rules.at(index);
        QString replaced;
        if (stored.ascii) {
            if (!stored.pattern)
                stored.pattern = RuleReplacement::wordPattern(rule.wrong);
            replaced = RuleReplacement::replaceWords(current, *stored.pattern, rule.right);
        } else {
            replaced = RuleReplacement::replaceCanonical(current, rule.wrong, rule.right);
        }
        // A hit is a change: a rule whose right equals what it found rewrites nothing and must not
        // cost a save on every dictation.
        if (replaced == current)
            continue;
        current = std::move(replaced);
        currentKey = RuleReplacement::searchKey(current);
        candidates = m_starts.candidates(currentKey, index);
        at = 0;
        // A count read from a file may already be at the limit; it stays there rather than wrap.
        if (rule.hitCount < std::numeric_limits<qint64>::max()) {
            // Copies the rule's block alone when the last view holds it.
            ++m_rules.change(index).hitCount;
            raiseInOrderLocked(held, index);
        }
        hit = true;
    }
    if (hit)
        saveLocked(held);
    return current;
}

void Lexicon::addRule(const QString& wrong, const QString& right, const QString& source)
{
    const Held held = lockLoaded();
    addRuleLocked(held, wrong, right, source);
}

void Lexicon::addRuleLocked(const Held& held, const QString& wrong, const QString& right, const QString& source)
{
    if (wrong.isEmpty() || right.isEmpty() || TextClass::canonicallyEqual(wrong, right) ||
        isRefused(wrong, right, source))
        return;
    const qsizetype existing = indexOfWrongLocked(held, wrong);
    if (existing >= 0) {
        setRightLocked(held, existing, right);
    } else {
        LearnedRule rule = LearnedRule::make(wrong, right, source);
        QString key = RuleReplacement::searchKey(rule.wrong);
        appendRuleLocked(held, std::move(rule), std::move(key));
        // No hits yet: it goes after every rule with hits, and last of those without.
        orderForChangeLocked(held).push_back(m_rules.size() - 1);
        m_starts.append(m_rules.size() - 1, m_keys.back().searchKey);
        raiseInOrderLocked(held, m_rules.size() - 1);
    }
    saveLocked(held);
}

void Lexicon::removeRule(const QUuid& id)
{
    const Held held = lockLoaded();
    removeRulesLocked(held, [&id](const LearnedRule& rule) { return rule.id == id; });
    saveLocked(held);
}

qsizetype Lexicon::removeRulesLocked(const Held& held, const std::function<bool(const LearnedRule&)>& remove)
{
    // Each rule's index once the removed ones are gone, or -1: the order and the starts keep their
    // sorting and are only renumbered, where rebuilding them would sort and file every rule again.
    std::vector<qsizetype> moved(std::size_t(m_rules.size()));
    std::vector<bool> gone(std::size_t(m_rules.size()));
    QStringList rights;
    qsizetype kept = 0;
    qsizetype i = 0;
    for (const LearnedRule& rule : m_rules) {
        if (remove(rule)) {
            rights.append(rule.right);
            moved[std::size_t(i)] = -1;
            gone[std::size_t(i)] = true;
        } else {
            if (kept != i)
                m_keys[std::size_t(kept)] = std::move(m_keys[std::size_t(i)]);
            moved[std::size_t(i)] = kept++;
        }
        ++i;
    }
    const qsizetype removed = m_rules.size() - kept;
    if (removed == 0)
        return 0;
    editMatcherLocked(held, rights.size(), [&rights](HotwordMatcher& matcher) {
        for (const QString& right : std::as_const(rights))
            matcher.remove(right);
    });
    m_rules.remove(gone);
    m_keys.erase(m_keys.begin() + kept, m_keys.end());
    m_ruleCount = m_rules.size();
    std::vector<qsizetype>& order = orderForChangeLocked(held);
    auto out = order.begin();
    for (const qsizetype index : order) {
        if (moved[std::size_t(index)] >= 0)
            *out++ = moved[std::size_t(index)];
    }
    order.erase(out, order.end());
    m_starts.renumber(moved);
    return removed;
}

int Lexicon::purgeBadRules()
{
    const Held held = lockLoaded();
    const qsizetype removed =
        removeRulesLocked(held, [](const LearnedRule& rule) { return isRefused(rule.wrong, rule.right, rule.source); });
    if (removed > 0)
        saveLocked(held);
    return int(removed);
}

void Lexicon::seedIfEmpty(const QStringList& hotwords, const QList<CorrectionPair>& rules)
{
    const Held held = lockLoaded();
    if ((hotwords.isEmpty() && rules.isEmpty()) || !m_rules.isEmpty() || !extraHotwordsLocked(held).isEmpty())
        return;
    for (const QString& word : newHotwordsLocked(held, hotwords))
        appendHotwordLocked(held, word);
    for (const CorrectionPair& pair : rules) {
        if (indexOfWrongLocked(held, pair.wrong) < 0)
            appendRuleLocked(held, LearnedRule::make(pair.wrong, pair.right, kSeedSource),
                             RuleReplacement::searchKey(pair.wrong));
    }
    rebuildOrderLocked(held);
    saveLocked(held);
}

void Lexicon::addHotword(const QString& word)
{
    addHotwords({word});
}

void Lexicon::addHotwords(const QStringList& words)
{
    const Held held = lockLoaded();
    QStringList written = words;
    written.removeAll(QString());
    const QStringList added = newHotwordsLocked(held, written);
    for (const QString& word : added)
        appendHotwordLocked(held, word);
    if (!added.isEmpty())
        saveLocked(held);
}

void Lexicon::appendHotwordLocked(const Held& held, const QString& word)
{
    editMatcherLocked(held, 1, [&word](HotwordMatcher& matcher) { matcher.append(word); });
}

const WordList& Lexicon::extraHotwordsLocked(const Held& held) const
{
    return matcherLocked(held).words();
}

Lexicon::ImportCounts Lexicon::importText(const QString& text)
{
    const QList<LexiconImport::Entry> entries = LexiconImport::parse(text);
    // Checking each rule needs nothing of the lexicon and is most of a long file's work: the lines
    // are checked on several threads, the calling one among them, before the lexicon is locked.
    const QList<std::optional<QString>> ruleKeys = QtConcurrent::blockingMapped(&bulkPool(), entries, &importedRuleKey);
    const Held held = lockLoaded();
    // The stored rules by key, so that each line is looked up once instead of scanning the whole
    // lexicon per line.
    QHash<QString, qsizetype> ruleByKey;
    ruleByKey.reserve(m_rules.size() + entries.size());
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        ruleByKey.insert(m_keys[i].searchKey, qsizetype(i));
    qsizetype units = 0;
    QStringList hotwords;
    for (const LexiconImport::Entry& entry : entries) {
        if (entry.kind == LexiconImport::Entry::Kind::Rule) {
            units += entry.right.size();
        } else if (!entry.wrong.isEmpty()) {
            units += entry.wrong.size();
            hotwords.append(entry.wrong);
        }
    }
    editMatcherLocked(held, entries.size(), [&](HotwordMatcher& matcher) { matcher.reserve(entries.size(), units); });
    ImportCounts stored;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (const std::optional<QString>& key = ruleKeys[i])
            stored.rules += importRuleLocked(held, ruleByKey, entries[i].wrong, entries[i].right, *key) ? 1 : 0;
    }
    for (const QString& word : newHotwordsLocked(held, hotwords)) {
        appendHotwordLocked(held, word);
        ++stored.hotwords;
    }
    if (stored.rules > 0 || stored.hotwords > 0) {
        rebuildOrderLocked(held);
        saveLocked(held);
    } else if (m_nextMatcher) {
        // Nothing changed but the room made for it: the copy goes.
        m_nextMatcher.reset();
    }
    return stored;
}

std::optional<QString> Lexicon::importedRuleKey(const LexiconImport::Entry& entry)
{
    const QString& wrong = entry.wrong;
    const QString& right = entry.right;
    if (entry.kind != LexiconImport::Entry::Kind::Rule || wrong.isEmpty() || right.isEmpty() ||
        TextClass::canonicallyEqual(wrong, right) || isRefused(wrong, right, kUserAddedSource))
        return std::nullopt;
    return RuleReplacement::searchKey(wrong);
}

bool Lexicon::importRuleLocked(const Held& held, QHash<QString, qsizetype>& ruleByKey, const QString& wrong,
                               const QString& right, const QString& key)
{
    const auto existing = ruleByKey.constFind(key);
    if (existing != ruleByKey.cend()) {
        if (m_rules.at(*existing).right == right)
            return false;
        setRightLocked(held, *existing, right);
        return true;
    }
    ruleByKey.insert(key, m_rules.size());
    appendRuleLocked(held, LearnedRule::make(wrong, right, kUserAddedSource), key);
    return true;
}

QList<CorrectionPair> Lexicon::learn(const QString& original, const QString& corrected)
{
    const QList<CorrectionPair> pairs = extractCorrections(original, corrected);
    for (const CorrectionPair& pair : pairs)
        addRule(pair.wrong, pair.right, kManualEditSource);
    return pairs;
}

QList<CorrectionPair> Lexicon::previewCorrections(const QString& original, const QString& corrected) const
{
    return extractCorrections(original, corrected);
}
