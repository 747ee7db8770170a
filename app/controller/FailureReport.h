#pragma once

#include "app/controller/FlowFailure.h"
#include "app/controller/FlowParts.h"
#include "core/store/HistoryEntry.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StylePreferences.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <optional>
#include <variant>

// Where a dictation's failures end up: the status line, the overlay capsule and the history
// entry, told from one FlowFailure; and the retry behind the capsule's button, which recognises
// the saved recording again or styles the saved transcript again, as often as the user asks.
// Once the entry holds another text than its failure left there (a retry from the history window
// filled it), the failure is over: the capsule stops offering the retry, and a retry under way
// delivers nothing. Main thread only.
class FailureReport : public QObject
{
    Q_OBJECT

public:
    // The dictation a report is about.
    struct Dictation
    {
        QUuid entryId;
        quint64 generation = 0;
        // Where the retried text goes: the application of this recording, not of a later one.
        std::optional<QString> targetBundleId;
    };

    static inline const QString& kFailedText = HistoryEntry::kFailedText;

    explicit FailureReport(FlowParts parts, QObject* parent = nullptr);

    // Recognition gave nothing usable. The entry is marked failed; what the user sees changes
    // only while the dictation is still the newest.
    void recognitionFailed(const Dictation& dictation, const FlowFailure& failure);

    // The raw transcript was delivered (inserted, or on the clipboard) but styling failed.
    void stylingFailed(const Dictation& dictation, const DictationPipeline::Output& output,
                       const StylePreferences& preferences, bool translate, bool inserted);

    // The capsule's retry button: runs the retry armed by the last report; nothing when none is.
    void retry();

private:
    struct Retranscribe
    {
        HistoryEntry entry;
        std::optional<QString> targetBundleId;
    };
    struct Restyle
    {
        HistoryEntry entry;
        StyleMode mode;
        StylePreferences preferences;
        bool translate = false;
    };
    using RetryAction = std::variant<Retranscribe, Restyle>;
    // A retry's pipeline run: its output, or the text of its failure.
    struct Attempt
    {
        std::optional<DictationPipeline::Output> output;
        QString error;
    };

    static const HistoryEntry& entryOf(const RetryAction& action);
    void offerRetry(bool styling, const QString& message, RetryAction action);
    // Whether the entry's text is no longer the one its failure left there.
    bool filledSince(const HistoryEntry& failed) const;
    // Ends the failure on offer when its entry was filled elsewhere.
    void followHistory();
    QCoro::Task<> retranscribe(Retranscribe action);
    QCoro::Task<> restyle(Restyle action);
    static QCoro::Task<Attempt> attemptOf(QCoro::Task<DictationPipeline::Output> work);
    // The retry of entry is over, whatever came of it; its offer ends with it.
    void endRetry(const QUuid& entry);

    FlowParts m_parts;
    // The retry the capsule offers, kept while it runs.
    std::optional<RetryAction> m_armed;
    bool m_running = false;
};
