#include "app/controller/FailureReport.h"

#include "app/controller/AppContextLabel.h"
#include "app/controller/AppServices.h"
#include "app/controller/DictationSetup.h"
#include "core/audio/AudioStorage.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

const QString kCopiedRetry = QStringLiteral("已复制 · 按 Ctrl+V 粘贴");

} // namespace

FailureReport::FailureReport(AppServices& app, QThreadPool& workers, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_workers(workers)
{}

bool FailureReport::isCurrent(quint64 generation) const
{
    return m_app.state().generation() == generation;
}

void FailureReport::recognitionFailed(const Dictation& dictation, const FlowFailure& failure)
{
    // The entry is marked failed in every case, also for a refused sign-in: a placeholder
    // "（识别中…）" left behind would never change again.
    m_app.history().replaceTexts(dictation.entryId, HistoryEntry::kRecognisingText, QString(), kFailedText);
    m_app.state().bumpHistoryVersion();
    if (!isCurrent(dictation.generation))
        return;

    RecordingOverlay& overlay = m_app.overlay();
    if (failure.kind == FlowFailure::Kind::NeedsLogin) {
        m_armed.reset();
        m_app.state().setShowLoginGate(true);
        m_app.state().setStatusLine(QStringLiteral("请先登录后使用"));
        overlay.fail(QStringLiteral("请先登录后使用"));
        return;
    }
    m_app.state().setStatusLine(QStringLiteral("识别失败：") + failure.userText +
                                QStringLiteral(" · 录音已保存，可重试"));
    const std::optional<HistoryEntry> entry = m_app.history().entry(dictation.entryId);
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
        m_app.ports().clipboard.setText(output.finalText);
    m_app.state().setStatusLine(QStringLiteral("网络不稳，先上了原话 · 可重试整理"));
    const std::optional<HistoryEntry> entry = m_app.history().entry(dictation.entryId);
    if (!entry) {
        // Nothing left to restyle, but the capsule must not stay on "processing" for ever.
        m_armed.reset();
        m_app.overlay().finish(output.finalText, inserted, std::nullopt);
        return;
    }
    offerRetry(true, QStringLiteral("网络不稳 · 可重试"), Restyle{*entry, output.mode, preferences, translate});
}

void FailureReport::offerRetry(bool styling, const QString& message, RetryAction action)
{
    m_armed = std::move(action);
    m_app.overlay().failActionable(styling ? OverlayModel::FailKind::styling : OverlayModel::FailKind::asr, message);
}

void FailureReport::retry()
{
    if (!m_armed || m_running)
        return;
    RetryAction action = std::move(*m_armed);
    m_armed.reset();
    m_running = true;
    m_app.overlay().setRetrying(true);
    if (auto* again = std::get_if<Retranscribe>(&action))
        retranscribe(std::move(*again));
    else
        restyle(std::get<Restyle>(std::move(action)));
}

QCoro::Task<> FailureReport::retranscribe(Retranscribe action)
{
    QPointer<FailureReport> self(this);
    RecordingOverlay& overlay = m_app.overlay();
    const std::optional<QString> audio = m_app.history().audioURL(action.entry);
    if (!audio) {
        endRetry();
        overlay.fail(QStringLiteral("该条目没有保存录音"));
        co_return;
    }
    const DictationPipeline pipeline = DictationSetup::pipeline(m_app.services(), m_app.lexicon(), m_app.ports().clock);
    const StyleMode mode = DictationSetup::currentMode(m_app.settings());
    StylePreferences preferences = m_app.state().preferences();
    preferences.appContext = AppContextLabel::label(m_app.settings().flag(SettingKey::autoCompose), std::nullopt,
                                                    m_app.ports().workspace, action.targetBundleId, std::nullopt);
    const std::optional<QString> hint = DictationSetup::languageHint(m_app.settings());

    // Decoding a long recording takes longer than a frame.
    QFuture<Samples> decoding =
        QtConcurrent::run(&m_workers, [path = *audio] { return AudioStorage::readSamples(path); });
    const Samples samples = co_await decoding;
    if (!self)
        co_return;

    QCoro::Task<DictationPipeline::Output> run = pipeline.run(samples, mode, preferences, false, hint);
    const Attempt attempt = co_await attemptOf(std::move(run));
    if (!self)
        co_return;
    endRetry();
    const std::optional<DictationPipeline::Output>& output = attempt.output;
    if (!output) {
        m_app.state().setStatusLine(QStringLiteral("重试仍失败：") + attempt.error);
        offerRetry(false, QStringLiteral("仍失败 · 录音已保存，可再试"), std::move(action));
        co_return;
    }
    m_app.history().replaceTexts(action.entry.id, kFailedText, output->asrText, output->finalText);
    m_app.state().bumpHistoryVersion();
    if (output->finalText.trimmed().isEmpty()) {
        m_app.state().setStatusLine(QStringLiteral("仍未识别到语音"));
        offerRetry(false, QStringLiteral("仍未识别到语音 · 可再试"), std::move(action));
        co_return;
    }
    // While another recording runs, its application is in front: typing there would put this
    // text into the wrong place, so it waits on the clipboard instead.
    const bool ownApp = action.targetBundleId == m_app.ports().workspace.ownBundleId();
    bool inserted = false;
    if (!ownApp && !m_app.state().isRecording())
        inserted = m_app.inserter().insert(output->finalText, action.targetBundleId);
    if (inserted) {
        m_app.state().setStatusLine(QStringLiteral("✓ 重试成功"));
    } else {
        m_app.ports().clipboard.setText(output->finalText);
        m_app.state().setStatusLine(kCopiedRetry);
    }
    overlay.finish(output->finalText, inserted, std::nullopt);
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

void FailureReport::endRetry()
{
    m_running = false;
    m_app.overlay().setRetrying(false);
}

QCoro::Task<> FailureReport::restyle(Restyle action)
{
    QPointer<FailureReport> self(this);
    RecordingOverlay& overlay = m_app.overlay();
    const QString raw = action.entry.asrText.trimmed();
    if (raw.isEmpty()) {
        endRetry();
        overlay.fail(QStringLiteral("没有可重新整理的原话"));
        co_return;
    }
    const DictationPipeline pipeline = DictationSetup::pipeline(m_app.services(), m_app.lexicon(), m_app.ports().clock);
    // The saved transcript has had the correction rules applied already.
    QCoro::Task<DictationPipeline::Output> styling =
        pipeline.restyle(raw, action.mode, action.preferences, action.translate, 0);
    const Attempt attempt = co_await attemptOf(std::move(styling));
    if (!self)
        co_return;
    endRetry();
    const std::optional<DictationPipeline::Output>& output = attempt.output;
    if (!output) {
        m_app.state().setStatusLine(QStringLiteral("重试整理失败：") + attempt.error);
        offerRetry(true, QStringLiteral("仍失败 · 可再试"), std::move(action));
        co_return;
    }
    if (output->stylingFailed) {
        m_app.state().setStatusLine(QStringLiteral("网络不稳，整理仍未成 · 可再试"));
        offerRetry(true, QStringLiteral("网络仍不稳 · 可再试"), std::move(action));
        co_return;
    }
    m_app.history().updateTexts(action.entry.id, action.entry.asrText, output->finalText);
    m_app.state().bumpHistoryVersion();
    m_app.ports().clipboard.setText(output->finalText);
    m_app.state().setStatusLine(QStringLiteral("✓ 整理好了 · 已复制，按 Ctrl+V 粘贴"));
    overlay.finish(output->finalText, false, std::nullopt);
}
