#pragma once

#include "core/store/CoalescedWrites.h"
#include "core/store/CorrectionPair.h"
#include "core/store/Corrections.h"
#include "core/store/LearnedRule.h"
#include "core/store/LexiconRules.h"
#include "core/store/LexiconSnapshot.h"
#include "core/store/RuleStarts.h"
#include "core/store/WordList.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPromise>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class FreedMemory;
class HotwordMatcher;
namespace LexiconImport {
struct Entry;
}

// The user's personal correction memory: rules that rewrite what recognition keeps getting
// wrong, and extra hotwords the recognisers should favour. Everything lives in "lexicon.json"
// in the data folder. Memory is the truth and the file its copy, rewritten whole and atomically
// after each change.
//
// One instance is shared by the controller, the settings window and the dictation pipeline.
// Every operation may be called from any thread. Each change takes the lexicon's own lock for its
// whole step and then publishes the lexicon as it left it, an immutable view whose parts it shares;
// readers read the last view published and never wait for a change, a load's end aside, nor for a
// write. No call waits for the disk: the file is encoded and written on the lexicon's own worker,
// from the last view, one write at a time and in order; changes made while a write is under way go
// out together in the next one, so the file never goes back to an older state. changed() tells
// the views that show it (the main window's rule count), whichever thread made the change.
//
// The file is read on a worker: a lexicon of a hundred thousand rules takes a second to decode
// and prepare. Until then every operation waits for it, except those that say otherwise; the
// main thread awaits whenLoaded() instead.
class Lexicon : public QObject
{
    Q_OBJECT

public:
    struct ImportCounts
    {
        int rules = 0;
        int hotwords = 0;

        friend bool operator==(const ImportCounts&, const ImportCounts&) = default;
    };

    // Loads "lexicon.json" from directory (which is not created here) on loader, or on the
    // lexicon's own worker when none is given, once the event loop of the lexicon's thread turns
    // (at the program's start its window comes first), or as soon as any thread waits for it. A
    // file that exists but cannot be read or decoded is moved aside, kept as
    // "lexicon.json.unreadable-<time>", and the lexicon starts empty. What reading or writing a
    // large file freed goes back to freedMemory, when given.
    explicit Lexicon(const QString& directory, FreedMemory* freedMemory = nullptr, QThreadPool* loader = nullptr);
    // Waits for a load under way, and writes every change not yet written.
    ~Lexicon() override;

    Lexicon(const Lexicon&) = delete;
    Lexicon& operator=(const Lexicon&) = delete;

    // Whether the file has been read (or found missing or unreadable). Never waits.
    bool isLoaded() const { return m_loaded; }
    // Finished once the file has been read; changed() follows.
    QFuture<void> whenLoaded() const { return m_loading; }
    // Returns once the file has been read; on the lexicon's own thread it starts the load, and runs
    // it there when its worker has not begun. For workers and tests: the main thread awaits
    // whenLoaded() instead.
    void waitUntilLoaded() const;

    // A plain file path despite the name, which the design gives it.
    const QString& fileURL() const { return m_fileURL; }

    // False while the file lacks a change: one waits for its write, or the last write failed (a
    // full disk; the next change, saveAgain() or flush() writes everything).
    bool isSaved() const;
    // Whether the last write failed, whatever is queued since: what the file lacks is in memory
    // only until a later write goes through. Takes no lock.
    bool lastWriteFailed() const;
    // Writes everything again, on the worker, when the last write failed; saveFinished() follows.
    void saveAgain();
    // Waits until every change so far has been written, or has failed to be, trying a failed
    // write once more: for the program's end and for tests, never for a frame. Returns isSaved().
    bool flush();

    // The recognition vocabulary: rule replacements, most-used first, then the extra hotwords;
    // each text once.
    QStringList hotwords() const;
    // The first count of hotwords().
    QStringList topHotwords(qsizetype count) const;
    // Whether word is, exactly, a rule's right or an extra hotword: one of the texts hotwords()
    // lists, without listing them all.
    bool listsHotword(const QString& word) const;
    // hotwords() as the recognisers take it: no single characters, no "@", nothing holding a
    // number, at most kMaxAsrHotwords entries; the list is looked through no further once
    // kMaxAsrLooked words were passed over. Never waits for the load: a take started before the
    // file was read is recognised without them (its rules still apply).
    QStringList asrHotwords() const;
    // The words of hotwords() prepared for finding them in a transcript, kept up to date as the
    // lexicon changes. A matcher handed out stays as it was; a later change makes a new one.
    std::shared_ptr<const HotwordMatcher> hotwordMatcher() const;
    QList<LearnedRule> allRules() const;
    // Takes no lock: once loaded, it never waits.
    qsizetype ruleCount() const;
    // Exactly the bytes a save would write, encoded on the caller's thread and the bulk pool, from
    // the last view: call it from a worker.
    std::optional<QByteArray> exportSnapshot() const;
    // The size of exportSnapshot(), counted without holding its bytes; on a worker too.
    qsizetype exportedSize() const;

    // Folds the account's copy in, read as service text (LexiconSnapshot::decodeServiceText), so
    // no control character from outside becomes part of a rule: local rules win on an equal wrong, invalid remote rules
    // are skipped, new hotwords are appended. Returns how many rules and hotwords were added, or
    // nothing for bytes that do not decode (a document this version cannot read), which change
    // nothing.
    std::optional<int> merge(const QByteArray& remoteData);

    // Runs every rule over text in stored order, each on the output of the ones before it.
    QString apply(const QString& text);

    // Adds a rule, or changes the right of the rule with the same wrong. Rules that isBadRule
    // rejects are dropped silently, and so are learnt rules (sources "manual_edit" and
    // "auto_edit") whose wrong is a common English word: the user meant that one sentence.
    void addRule(const QString& wrong, const QString& right, const QString& source);
    void removeRule(const QUuid& id);
    // Deletes every stored rule that addRule would refuse now; returns how many.
    int purgeBadRules();
    // First-run filling; does nothing once the lexicon holds any rule or hotword.
    void seedIfEmpty(const QStringList& hotwords, const QList<CorrectionPair>& rules);
    void addHotword(const QString& word);
    // The words not stored yet, in order, with one save.
    void addHotwords(const QStringList& words);
    // Imports the plain-text format of LexiconImport as one step with one save, for files of
    // thousands of lines. Counts what was stored: new rules, rules whose right changed and new
    // hotwords.
    ImportCounts importText(const QString& text);

    // Learns from a correction the user made: every extracted pair is offered to addRule with the
    // source "manual_edit". Returns all the pairs, also those addRule refused.
    QList<CorrectionPair> learn(const QString& original, const QString& corrected);
    QList<CorrectionPair> previewCorrections(const QString& original, const QString& corrected) const;

    static QList<CorrectionPair> extractCorrections(const QString& original, const QString& corrected)
    {
        return Corrections::extract(original, corrected);
    }
    static bool isBadRule(const QString& wrong, const QString& right) { return Corrections::isBadRule(wrong, right); }
    // isBadRule, and for a learnt rule also a common English word as its wrong.
    static bool isRefused(const QString& wrong, const QString& right, const QString& source);

    static inline const QString kFileName = QStringLiteral("lexicon.json");
    static constexpr qsizetype kMaxAsrHotwords = 48;
    static constexpr qsizetype kMaxAsrLooked = 1024;

Q_SIGNALS:
    // The file has been read, or the rules, the hotwords or the rules' counts changed. Emitted from
    // the event loop of the thread the lexicon lives on, never under its lock; changes close
    // together are told once.
    void changed();
    // From the worker, after each write of the file, whether it went through or not (isSaved()).
    void saveFinished();

protected:
    // On the worker, as a write has taken the lexicon it writes and before it encodes it; nothing
    // of the lexicon is held then. For tests that hold a write there.
    virtual void writeTaken() {}

private:
    // The lexicon's lock, held: every function named …Locked takes it, so that none can be called
    // without it.
    using Held = QMutexLocker<QMutex>;

    // What apply needs to find a rule quickly, computed once per rule and kept beside it.
    struct RuleKey
    {
        explicit RuleKey(const LearnedRule& rule);
        // searchKey already computed: RuleReplacement::searchKey(rule.wrong).
        RuleKey(const LearnedRule& rule, QString searchKey);

        QString searchKey;
        bool ascii = false;
        std::optional<QRegularExpression> pattern; // built on the first hit
    };

    // The lexicon as readers see it: published after each change, and never changed after. Its
    // parts are shared with the lexicon's own, which copies a part before changing it, so making
    // one costs a few hundred references whatever the lexicon holds.
    struct View
    {
        LexiconRules rules;
        // The rules' indices by hit count, highest first, stored order among equals.
        std::shared_ptr<const std::vector<qsizetype>> order;
        WordList extraHotwords;
    };

    // Starts load() on the loader unless it was started; from any thread.
    void startLoading() const;
    // Reads, decodes and prepares the file, then puts it in place.
    void load();
    // Returns once the file has been read: the lock, taken after that.
    Held lockLoaded() const;
    // The last published view, taken under a lock held only for the copy of a pointer: no reader
    // ever waits for a change, a load or a write.
    std::shared_ptr<const View> view() const;
    // view(), once the file has been read.
    std::shared_ptr<const View> loadedView() const;
    // Hands the lexicon as it is now to readers, and to the next write.
    void publishLocked(const Held& held);

    // The first hotwords of view, in order, that pass accept, at most limit of them.
    static QStringList topHotwordsOf(const View& view, qsizetype limit,
                                     const std::function<bool(const QString&)>& accept);
    // Puts every rule back in m_order and m_starts, after rules came or went.
    void rebuildOrderLocked(const Held& held);
    // Moves rule index up in m_order to where its hit count now puts it.
    void raiseInOrderLocked(const Held& held, qsizetype index);
    // The order to change, copied first when a view still holds it.
    std::vector<qsizetype>& orderForChangeLocked(const Held& held);
    // Changes the matcher, by edit of about words words: see the definition.
    void editMatcherLocked(const Held& held, qsizetype words, const std::function<void(HotwordMatcher&)>& edit);
    // The matcher as the step under way left it.
    const HotwordMatcher& matcherLocked(const Held& held) const;
    void setRightLocked(const Held& held, qsizetype index, const QString& right);
    void appendRuleLocked(const Held& held, LearnedRule rule, QString searchKey);
    void appendHotwordLocked(const Held& held, const QString& word);
    const WordList& extraHotwordsLocked(const Held& held) const;
    // Removes the rules remove picks; returns how many.
    qsizetype removeRulesLocked(const Held& held, const std::function<bool(const LearnedRule&)>& remove);
    // Publishes a change, tells of it and queues a write of the lexicon as it will be when the
    // write runs.
    void saveLocked(const Held& held);
    // Queues a write unless one is queued already.
    void scheduleWriteLocked(const Held& held);
    // On the worker: encodes and writes what the lexicon holds then.
    void writeLatest();
    // After work that freed bytes of a lexicon's text, on a worker of the global pool.
    void giveBackFreedSoon(qsizetype bytes) const;
    qsizetype indexOfWrongLocked(const Held& held, const QString& wrong) const;
    // words, in order, without those canonically equal to a stored extra hotword or to a word
    // before them.
    // A QStringList or a WordList.
    template <typename Words> QStringList newHotwordsLocked(const Held& held, const Words& words) const;
    void addRuleLocked(const Held& held, const QString& wrong, const QString& right, const QString& source);
    // The key an imported line's rule is filed under, or nothing for a line that is no rule or
    // that addRule would refuse.
    static std::optional<QString> importedRuleKey(const LexiconImport::Entry& entry);
    // An imported rule, before the one save: whether it was new or changed a stored rule's right.
    // ruleByKey holds the stored rules' indices by key.
    bool importRuleLocked(const Held& held, QHash<QString, qsizetype>& ruleByKey, const QString& wrong,
                          const QString& right, const QString& key);

    // From this size of a lexicon's text on, what reading or writing it freed is handed back at
    // once; below it, the few megabytes are not worth the time that takes.
    static constexpr qsizetype kLargeLexiconBytes = 4 * 1024 * 1024;
    // Matcher edits of up to this many words are made in place when no reader holds the matcher.
    static constexpr qsizetype kInPlaceWords = 64;

    // Asks for one changed() on the lexicon's own thread, unless one is already on its way.
    void announceChange() const;

    const QString m_fileURL;
    FreedMemory* const m_freedMemory;
    std::atomic_bool m_loaded = false;
    // Kept apart from the rules so the main window's count takes no lock.
    std::atomic<qsizetype> m_ruleCount = 0;
    // Held by every change for its whole step, and by a write to mark where it stands; never by a
    // reader.
    mutable QMutex m_mutex;
    mutable std::atomic_bool m_changeAnnounced = false;
    LexiconRules m_rules;
    // One per rule, in the same order.
    std::vector<RuleKey> m_keys;
    // Derived from the rules, kept as they change, so that a dictation does not sort and look
    // through tens of thousands of them: the order the view shows, where rules start, and the
    // matcher. The matcher also keeps the extra hotwords (extraHotwordsLocked()), whose texts are
    // most of its keys.
    std::shared_ptr<std::vector<qsizetype>> m_order;
    RuleStarts m_starts;
    // Readers take the matcher under m_viewMutex; it changes under both locks.
    std::shared_ptr<HotwordMatcher> m_matcher;
    // The matcher of the step under way, when it could not change m_matcher in place; published
    // with the step.
    std::shared_ptr<HotwordMatcher> m_nextMatcher;
    // Held for the copy of a pointer, or for a small edit of a matcher nobody reads.
    mutable std::mutex m_viewMutex;
    std::shared_ptr<const View> m_view;
    CoalescedWrites m_writes;
    // One thread: each write, in the order they were asked for (and the load, without a loader).
    QThreadPool m_worker;
    QThreadPool* const m_loader;
    // Starting and waiting for the load change nothing the lexicon holds.
    mutable std::once_flag m_startOnce;
    mutable std::atomic_bool m_loadStarted = false;
    mutable QFuture<void> m_run;
    QPromise<void> m_loadPromise;
    mutable QFuture<void> m_loading;
};
