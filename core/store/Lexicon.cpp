#include "core/store/Lexicon.h"

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

Lexicon::StoredRule::StoredRule(LearnedRule learned)
    : StoredRule(learned, RuleReplacement::searchKey(learned.wrong))
{}

Lexicon::StoredRule::StoredRule(LearnedRule learned, QString key)
    : rule(std::move(learned))
    , searchKey(std::move(key))
    , ascii(TextClass::isAscii(rule.wrong))
{}

Lexicon::Lexicon(const QString& directory, FreedMemory* freedMemory, QThreadPool* loader)
    : m_fileURL(QDir(directory).filePath(kFileName))
    , m_freedMemory(freedMemory)
    , m_matcher(std::make_shared<HotwordMatcher>())
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
    QList<StoredRule> rules;
    WordList extraHotwords;
    qsizetype fileBytes = 0;
    if (const std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_fileURL)) {
        fileBytes = bytes->size();
        if (std::optional<LexiconSnapshot> snapshot = LexiconSnapshot::decode(*bytes)) {
            rules.reserve(snapshot->rules.size());
            for (LearnedRule& rule : snapshot->rules)
                rules.append(StoredRule(std::move(rule)));
            extraHotwords = std::move(snapshot->hotwords);
        } else if (!bytes->trimmed().isEmpty()) {
            // An empty file holds nothing worth keeping; anything else the user may want back.
            const QString kept = StoreFile::quarantine(m_fileURL);
            std::printf("lexicon: %s could not be decoded; kept as %s\n", qPrintable(m_fileURL), qPrintable(kept));
        }
    }
    auto matcher = std::make_shared<HotwordMatcher>(std::move(extraHotwords));
    qsizetype units = 0;
    for (const StoredRule& stored : std::as_const(rules))
        units += stored.rule.right.size();
    matcher->reserve(rules.size(), units);
    for (const StoredRule& stored : std::as_const(rules))
        matcher->add(stored.rule.right);
    {
        QMutexLocker lock(&m_mutex);
        m_rules = std::move(rules);
        m_matcher = std::move(matcher);
        m_ruleCount = m_rules.size();
        rebuildOrderLocked();
        m_loaded = true;
        announceChange();
    }
    m_loadPromise.finish();
    // Reading a large file passes through several times its size in small pieces.
    if (fileBytes >= kLargeLexiconBytes && m_freedMemory)
        m_freedMemory->giveBack();
}

QMutexLocker<QMutex> Lexicon::lockLoaded() const
{
    waitUntilLoaded();
    return QMutexLocker(&m_mutex);
}

bool Lexicon::isRefused(const QString& wrong, const QString& right, const QString& source)
{
    if (isBadRule(wrong, right))
        return true;
    const bool learnt = source == kManualEditSource || source == kAutoEditSource;
    return learnt && Corrections::isCommonLatinWord(wrong);
}

void Lexicon::setRightLocked(StoredRule& stored, const QString& right)
{
    HotwordMatcher& matcher = matcherForChangeLocked();
    matcher.remove(stored.rule.right);
    matcher.add(right);
    stored.rule.right = right;
}

void Lexicon::appendRuleLocked(StoredRule stored)
{
    matcherForChangeLocked().add(stored.rule.right);
    m_rules.append(std::move(stored));
    m_ruleCount = m_rules.size();
}

QList<LearnedRule> Lexicon::allRules() const
{
    const auto lock = lockLoaded();
    QList<LearnedRule> out;
    out.reserve(m_rules.size());
    for (const StoredRule& stored : m_rules)
        out.append(stored.rule);
    return out;
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

qsizetype Lexicon::indexOfWrongLocked(const QString& wrong) const
{
    const QString key = RuleReplacement::searchKey(wrong);
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (m_rules[i].searchKey == key)
            return i;
    }
    return -1;
}

QStringList Lexicon::newHotwordsLocked(const QStringList& words) const
{
    // Each word by its canonical key, each key once. Only a word the matcher lists can be
    // canonically equal to a stored one; then the stored list, which may hold a million, is looked
    // through once, without keeping a key for each of its words.
    std::vector<std::pair<QString, QString>> keyed;
    QSet<QString> newKeys;
    bool listedHere = false;
    for (const QString& word : words) {
        QString key = TextClass::canonicalKey(word);
        if (newKeys.contains(key))
            continue;
        newKeys.insert(key);
        listedHere = listedHere || m_matcher->lists(word);
        keyed.emplace_back(word, std::move(key));
    }
    if (listedHere) {
        for (const QStringView stored : extraHotwordsLocked()) {
            newKeys.remove(TextClass::canonicalKey(stored.toString()));
            if (newKeys.isEmpty())
                break;
        }
    }
    QStringList out;
    for (const auto& [word, key] : keyed) {
        if (newKeys.contains(key))
            out.append(word);
    }
    return out;
}

std::optional<int> Lexicon::merge(const QByteArray& remoteData)
{
    const std::optional<LexiconSnapshot> remote = LexiconSnapshot::decodeServiceText(remoteData);
    if (!remote)
        return std::nullopt;
    const auto lock = lockLoaded();
    // Looked up by key, as an import does: tens of thousands on each side must not cost their
    // product, at every start.
    QSet<QString> ruleKeys;
    ruleKeys.reserve(m_rules.size() + remote->rules.size());
    for (const StoredRule& stored : std::as_const(m_rules))
        ruleKeys.insert(stored.searchKey);
    int added = 0;
    for (const LearnedRule& rule : remote->rules) {
        QString key = RuleReplacement::searchKey(rule.wrong);
        if (ruleKeys.contains(key) || isRefused(rule.wrong, rule.right, rule.source))
            continue;
        ruleKeys.insert(key);
        appendRuleLocked(StoredRule(rule, std::move(key)));
        ++added;
    }
    for (const QString& word : newHotwordsLocked(remote->hotwords.toStringList())) {
        appendHotwordLocked(word);
        ++added;
    }
    if (added > 0) {
        rebuildOrderLocked();
        saveLocked();
    }
    // Reading the account's copy passes through several times its size in small pieces.
    giveBackFreedSoon(remoteData.size());
    return added;
}

QString Lexicon::apply(const QString& text)
{
    const auto lock = lockLoaded();
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
        StoredRule& stored = m_rules[index];
        if (stored.searchKey.isEmpty() || !currentKey.contains(stored.searchKey))
            continue;
        QString replaced;
        if (stored.ascii) {
            if (!stored.pattern)
                stored.pattern = RuleReplacement::wordPattern(stored.rule.wrong);
            replaced = RuleReplacement::replaceWords(current, *stored.pattern, stored.rule.right);
        } else {
            replaced = RuleReplacement::replaceCanonical(current, stored.rule.wrong, stored.rule.right);
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
        if (stored.rule.hitCount < std::numeric_limits<qint64>::max()) {
            ++stored.rule.hitCount;
            raiseInOrderLocked(index);
        }
        hit = true;
    }
    if (hit)
        saveLocked();
    return current;
}

void Lexicon::addRule(const QString& wrong, const QString& right, const QString& source)
{
    const auto lock = lockLoaded();
    addRuleLocked(wrong, right, source);
}

void Lexicon::addRuleLocked(const QString& wrong, const QString& right, const QString& source)
{
    if (wrong.isEmpty() || right.isEmpty() || TextClass::canonicallyEqual(wrong, right) ||
        isRefused(wrong, right, source))
        return;
    const qsizetype existing = indexOfWrongLocked(wrong);
    if (existing >= 0) {
        setRightLocked(m_rules[existing], right);
    } else {
        appendRuleLocked(StoredRule(LearnedRule::make(wrong, right, source)));
        // No hits yet: it goes after every rule with hits, and last of those without.
        m_order.push_back(m_rules.size() - 1);
        m_starts.append(m_rules.size() - 1, m_rules.constLast().searchKey);
        raiseInOrderLocked(m_rules.size() - 1);
    }
    saveLocked();
}

void Lexicon::removeRule(const QUuid& id)
{
    const auto lock = lockLoaded();
    removeRulesLocked([&id](const StoredRule& stored) { return stored.rule.id == id; });
    saveLocked();
}

qsizetype Lexicon::removeRulesLocked(const std::function<bool(const StoredRule&)>& remove)
{
    // Each rule's index once the removed ones are gone, or -1: the order and the starts keep their
    // sorting and are only renumbered, where rebuilding them would sort and file every rule again.
    std::vector<qsizetype> moved(std::size_t(m_rules.size()));
    qsizetype kept = 0;
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        if (remove(m_rules.at(i))) {
            matcherForChangeLocked().remove(m_rules.at(i).rule.right);
            moved[std::size_t(i)] = -1;
            continue;
        }
        if (kept != i)
            m_rules[kept] = std::move(m_rules[i]);
        moved[std::size_t(i)] = kept++;
    }
    const qsizetype removed = m_rules.size() - kept;
    if (removed == 0)
        return 0;
    m_rules.erase(m_rules.begin() + kept, m_rules.end());
    m_ruleCount = m_rules.size();
    auto out = m_order.begin();
    for (const qsizetype index : m_order) {
        if (moved[std::size_t(index)] >= 0)
            *out++ = moved[std::size_t(index)];
    }
    m_order.erase(out, m_order.end());
    m_starts.renumber(moved);
    return removed;
}

int Lexicon::purgeBadRules()
{
    const auto lock = lockLoaded();
    const qsizetype removed = removeRulesLocked(
        [](const StoredRule& stored) { return isRefused(stored.rule.wrong, stored.rule.right, stored.rule.source); });
    if (removed > 0)
        saveLocked();
    return int(removed);
}

void Lexicon::seedIfEmpty(const QStringList& hotwords, const QList<CorrectionPair>& rules)
{
    const auto lock = lockLoaded();
    if ((hotwords.isEmpty() && rules.isEmpty()) || !m_rules.isEmpty() || !extraHotwordsLocked().isEmpty())
        return;
    for (const QString& word : newHotwordsLocked(hotwords))
        appendHotwordLocked(word);
    for (const CorrectionPair& pair : rules) {
        if (indexOfWrongLocked(pair.wrong) < 0)
            appendRuleLocked(StoredRule(LearnedRule::make(pair.wrong, pair.right, kSeedSource)));
    }
    rebuildOrderLocked();
    saveLocked();
}

void Lexicon::addHotword(const QString& word)
{
    addHotwords({word});
}

void Lexicon::addHotwords(const QStringList& words)
{
    const auto lock = lockLoaded();
    QStringList written = words;
    written.removeAll(QString());
    const QStringList added = newHotwordsLocked(written);
    for (const QString& word : added)
        appendHotwordLocked(word);
    if (!added.isEmpty())
        saveLocked();
}

void Lexicon::appendHotwordLocked(const QString& word)
{
    matcherForChangeLocked().append(word);
}

const WordList& Lexicon::extraHotwordsLocked() const
{
    return m_matcher->words();
}

Lexicon::ImportCounts Lexicon::importText(const QString& text)
{
    const QList<LexiconImport::Entry> entries = LexiconImport::parse(text);
    // Checking each rule needs nothing of the lexicon and is most of a long file's work: the lines
    // are checked on several threads, the calling one among them, before the lexicon is locked.
    const QList<std::optional<QString>> ruleKeys = QtConcurrent::blockingMapped(entries, &importedRuleKey);
    const auto lock = lockLoaded();
    // The stored rules by key, so that each line is looked up once instead of scanning the whole
    // lexicon per line.
    QHash<QString, qsizetype> ruleByKey;
    ruleByKey.reserve(m_rules.size() + entries.size());
    for (qsizetype i = 0; i < m_rules.size(); ++i)
        ruleByKey.insert(m_rules[i].searchKey, i);
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
    matcherForChangeLocked().reserve(entries.size(), units);
    ImportCounts stored;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (const std::optional<QString>& key = ruleKeys[i])
            stored.rules += importRuleLocked(ruleByKey, entries[i].wrong, entries[i].right, *key) ? 1 : 0;
    }
    for (const QString& word : newHotwordsLocked(hotwords)) {
        appendHotwordLocked(word);
        ++stored.hotwords;
    }
    if (stored.rules > 0 || stored.hotwords > 0) {
        rebuildOrderLocked();
        saveLocked();
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

bool Lexicon::importRuleLocked(QHash<QString, qsizetype>& ruleByKey, const QString& wrong, const QString& right,
                               const QString& key)
{
    const auto existing = ruleByKey.constFind(key);
    if (existing != ruleByKey.cend()) {
        StoredRule& stored = m_rules[*existing];
        if (stored.rule.right == right)
            return false;
        setRightLocked(stored, right);
        return true;
    }
    ruleByKey.insert(key, m_rules.size());
    appendRuleLocked(StoredRule(LearnedRule::make(wrong, right, kUserAddedSource), key));
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
