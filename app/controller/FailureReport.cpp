#include "app/controller/FailureReport.h"

#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/TakeRecipe.h"
#include "app/controller/TextDelivery.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/audio/AudioStorage.h"
#include "core/store/HistoryStore.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

const QString kCopiedRetry = QStringLiteral("已复制 · 按 Ctrl+V 粘贴");

} // namespace

FailureReport::FailureReport(FlowParts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
{
    connect(&m_parts.state, &AppState::historyVersionChanged, this, &FailureReport::followHistory);
}

void FailureReport::recognitionFailed(const Dictation& dictation, const FlowFailure& failure)
{
    // The entry is marked failed in every case, also for a refused sign-in: a placeholder
    // "（识别中…）" left behind would never change again.
    m_parts.data.history.replaceTexts(dictation.entryId, HistoryEntry::kRecognisingText, QString(), kFailedText);
    m_parts.state.bumpHistoryVersion();
    if (!m_parts.state.isCurrent(dictation.generation))
        return;

    RecordingOverlay& overlay = m_parts.overlay;
    if (failure.kind == FlowFailure::Kind::NeedsLogin) {
        m_armed.reset();
        m_parts.state.setShowLoginGate(true);
        m_parts.state.setStatusLine(QStringLiteral("请先登录后使用"));
        overlay.fail(QStringLiteral("请先登录后使用"));
        return;
    }
    m_parts.state.setStatusLine(QStringLiteral("识别失败：") + failure.userText +
                                QStringLiteral(" · 录音已保存，可重试"));
    const std::optional<HistoryEntry> entry = m_parts.data.history.entry(dictation.entryId);
    if (!entry || !failure.retryable) {
        m_armed.reset();
        overlay.fail(QStringLiteral("识别失败 · 录音已保存，去历史点 ↻ 重试"));
        return;
    }
    offerRetry(false, QStringLiteral("识别失败 · 录音已保存，可重试"), Retranscribe{*entry, dictation.targetBundleId});
}

void FailureReport::stylingFailed(const Dictation& dictation, const DictationPipeline::Output& output,
                                  const StylePreferences& preferences, bool translate, bool inserted)
{
    if (!inserted)
        m_parts.clipboard.setText(output.finalText);
    // A model that answered nothing is not a network that failed: the user is told which.
    const bool blank = output.stylingBlank && !output.stylingFailed;
    m_parts.state.setStatusLine(blank ? QStringLiteral("整理没有返回内容，先上了原话 · 可重试整理")
                                      : QStringLiteral("网络不稳，先上了原话 · 可重试整理"));
    const std::optional<HistoryEntry> entry = m_parts.data.history.entry(dictation.entryId);
    if (!entry) {
        // Nothing left to restyle, but the capsule must not stay on "processing" for ever.
        m_armed.reset();
        m_parts.overlay.finish(output.finalText, inserted, std::nullopt);
        return;
    }
    offerRetry(true, blank ? QStringLiteral("整理无结果 · 可重试") : QStringLiteral("网络不稳 · 可重试"),
               Restyle{*entry, output.mode, preferences, translate});
}

void FailureReport::offerRetry(bool styling, const QString& message, RetryAction action)
{
    m_armed = std::move(action);
    m_parts.overlay.failActionable(styling ? OverlayModel::FailKind::styling : OverlayModel::FailKind::asr, message);
}

const HistoryEntry& FailureReport::entryOf(const RetryAction& action)
{
    return std::visit([](const auto& retry) -> const HistoryEntry& { return retry.entry; }, action);
}

bool FailureReport::filledSince(const HistoryEntry& failed) const
{
    const std::optional<HistoryEntry> now = m_parts.data.history.entry(failed.id);
    return now && now->finalText != failed.finalText;
}

void FailureReport::followHistory()
{
    if (!m_armed || !filledSince(entryOf(*m_armed)))
        return;
    m_armed.reset();
    // Only while the capsule still shows that failure: a newer take's may be on show instead.
    const OverlayModel& capsule = *m_parts.overlay.model();
    if (capsule.phase() == OverlayModel::Phase::failed && capsule.retryOffered())
        m_parts.overlay.hide();
}

void FailureReport::retry()
{
    if (!m_armed || m_running)
        return;
    m_running = true;
    m_parts.overlay.setRetrying(true);
    if (const auto* again = std::get_if<Retranscribe>(&*m_armed))
        retranscribe(*again);
    else
        restyle(std::get<Restyle>(*m_armed));
}

QCoro::Task<> FailureReport::retranscribe(Retranscribe action)
{
    QPointer<FailureReport> self(this);
    RecordingOverlay& overlay = m_parts.overlay;
    // Held in memory while the disk had no room for it, else its file.
    const HistoryStore::Audio audio = m_parts.data.history.audioOf(action.entry.id);
    if (!audio) {
        endRetry(action.entry.id);
        overlay.fail(QStringLiteral("该条目没有保存录音"));
        co_return;
    }
    // The current mode, never translated, with nothing of the screen: only the target is known.
    TakeRecipe::Occasion occasion;
    occasion.labelWith = &m_parts.workspace;
    occasion.target = action.targetBundleId;
    const TakeRecipe recipe =
        TakeRecipe::make(m_parts.state, m_parts.settings, m_parts.data, m_parts.services, m_parts.clock, occasion);

    // Decoding a long recording takes longer than a frame.
    QFuture<std::shared_ptr<const Samples>> decoding =
        QtConcurrent::run(&m_parts.workers, [audio] { return std::make_shared<const Samples>(audio.read()); });
    std::shared_ptr<const Samples> samples = co_await decoding;
    if (!self)
        co_return;

    QCoro::Task<DictationPipeline::Output> run = recipe.pipeline.run(
        std::move(samples), recipe.mode, recipe.preferences, false, recipe.languageHint, recipe.vocabulary);
    const Attempt attempt = co_await attemptOf(std::move(run));
    if (!self)
        co_return;
    endRetry(action.entry.id);
    const std::optional<DictationPipeline::Output>& output = attempt.output;
    // A retry that hears nothing leaves the entry failed, so that a later one can still fill it.
    const bool heard = output && !output->finalText.trimmed().isEmpty();
    if (heard && m_parts.data.history.replaceTexts(action.entry.id, kFailedText, output->asrText, output->finalText))
        m_parts.state.bumpHistoryVersion();
    else if (filledSince(action.entry))
        // Another retry filled the entry meanwhile and ended the failure: typing this text too
        // would put the take in twice.
        co_return;
    // A recording started meanwhile owns the capsule, the status line and the clipboard: only
    // the history learns how the retry went.
    if (m_parts.state.isRecording())
        co_return;
    if (!output) {
        m_parts.state.setStatusLine(QStringLiteral("重试仍失败：") + attempt.error);
        offerRetry(false, QStringLiteral("仍失败 · 录音已保存，可再试"), std::move(action));
        co_return;
    }
    if (output->finalText.trimmed().isEmpty()) {
        m_parts.state.setStatusLine(QStringLiteral("仍未识别到语音"));
        offerRetry(false, QStringLiteral("仍未识别到语音 · 可再试"), std::move(action));
        co_return;
    }
    const bool typed =
        co_await m_parts.delivery.type(output->finalText, action.targetBundleId, m_parts.state.generation());
    if (!self || m_parts.state.isRecording())
        co_return;
    m_parts.delivery.finish(
        output->finalText, action.targetBundleId, typed,
        TextDelivery::Lines{QStringLiteral("✓ 重试成功"), kCopiedRetry, std::nullopt, std::nullopt, std::nullopt});
}

QCoro::Task<FailureReport::Attempt> FailureReport::attemptOf(QCoro::Task<DictationPipeline::Output> work)
{
    Attempt attempt;
    try {
        attempt.output = co_await std::move(work);
    } catch (...) {
        attempt.error = FlowFailure::from(std::current_exception()).userText;
    }
    co_return attempt;
}

void FailureReport::endRetry(const QUuid& entry)
{
    m_running = false;
    if (m_armed && entryOf(*m_armed).id == entry)
        m_armed.reset();
    m_parts.overlay.setRetrying(false);
}

QCoro::Task<> FailureReport::restyle(Restyle action)
{
    QPointer<FailureReport> self(this);
    RecordingOverlay& overlay = m_parts.overlay;
    const QString raw = action.entry.asrText.trimmed();
    if (raw.isEmpty()) {
        endRetry(action.entry.id);
        overlay.fail(QStringLiteral("没有可重新整理的原话"));
        co_return;
    }
    const DictationPipeline pipeline = DictationSetup::pipeline(m_parts.services, m_parts.data.lexicon, m_parts.clock);
    // The saved transcript has had the correction rules applied already.
    QCoro::Task<DictationPipeline::Output> styling =
        pipeline.restyle(raw, action.mode, action.preferences, action.translate, 0);
    const Attempt attempt = co_await attemptOf(std::move(styling));
    if (!self)
        co_return;
    endRetry(action.entry.id);
    const std::optional<DictationPipeline::Output>& output = attempt.output;
    const bool restyled = output && !output->stylingFailed && !output->stylingBlank;
    const HistoryEntry& failed = action.entry;
    if (restyled && m_parts.data.history.replaceTexts(failed.id, failed.finalText, failed.asrText, output->finalText))
        m_parts.state.bumpHistoryVersion();
    else if (filledSince(failed))
        // Filled elsewhere meanwhile: that text stays, and nothing is offered over it.
        co_return;
    if (m_parts.state.isRecording())
        co_return;
    if (!output) {
        m_parts.state.setStatusLine(QStringLiteral("重试整理失败：") + attempt.error);
        offerRetry(true, QStringLiteral("仍失败 · 可再试"), std::move(action));
        co_return;
    }
    if (output->stylingFailed) {
        m_parts.state.setStatusLine(QStringLiteral("网络不稳，整理仍未成 · 可再试"));
        offerRetry(true, QStringLiteral("网络仍不稳 · 可再试"), std::move(action));
        co_return;
    }
    if (output->stylingBlank) {
        m_parts.state.setStatusLine(QStringLiteral("整理仍没有返回内容 · 可再试"));
        offerRetry(true, QStringLiteral("整理仍无结果 · 可再试"), std::move(action));
        co_return;
    }
    // A restyled text replaces one already delivered: it is offered on the clipboard.
    m_parts.delivery.finish(output->finalText, std::nullopt, false,
                            TextDelivery::Lines{QString(), QStringLiteral("✓ 整理好了 · 已复制，按 Ctrl+V 粘贴"),
                                                std::nullopt, std::nullopt, std::nullopt});
}
