#include "app/controller/AskRewriteFlow.h"

#include "app/controller/AppState.h"
#include "app/controller/AskContext.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/DictationStatus.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "app/controller/TextDelivery.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/MurmoError.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/DictationRoads.h"
#include "core/recognition/StreamingTranscriptSource.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "core/text/AskAssistant.h"
#include "core/text/RewriteAssistant.h"
#include "core/text/StyleMode.h"

#include <QPointer>
#include <QWebSocketProtocol>

#include <utility>

AskRewriteFlow::AskRewriteFlow(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
{}

TranscriptRace::BatchRecognition AskRewriteFlow::batchRecognition(Samples samples) const
{
    TranscriptRace::BatchRecognition batch;
    batch.provider = m_parts.services.makeProvider();
    batch.vocabulary = m_parts.data.lexicon->asrHotwords();
    batch.samples = std::move(samples);
    batch.languageHint = DictationSetup::languageHint(m_parts.settings);
    return batch;
}

QCoro::Task<QString> AskRewriteFlow::transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                                TranscriptRace::BatchRecognition batch) const
{
    // The dictation's roads: the take is never uploaded twice.
    const DictationRoads roads(m_parts.clock);
    QCoro::Task<QString> recognising = roads.transcript(std::move(session), std::move(batch));
    const QString text = co_await std::move(recognising);
    co_return text.trimmed();
}

std::optional<GatewayClient> AskRewriteFlow::gatewayFor(const FinishedRecording& recording, const QString& offline)
{
    std::optional<GatewayClient> client;
    if (m_parts.state.isCurrent(recording.generation)) {
        client = m_parts.services.gatewayClient();
        if (!client) {
            m_parts.state.setStatusLine(offline);
            m_parts.overlay.fail(offline);
        }
    }
    // Nobody will finish the session now; left open it would keep the connection.
    if (!client && recording.session)
        recording.session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
    return client;
}

void AskRewriteFlow::noSpeech()
{
    m_parts.state.setStatusLine(QStringLiteral("未识别到语音"));
    m_parts.overlay.hide();
}

void AskRewriteFlow::addEntry(const QString& asrText, const QString& finalText, const QString& providerId,
                              const QString& action, std::optional<double> cutAt)
{
    // Without samples: a question or an instruction keeps no recording.
    HistoryEntry entry =
        HistoryEntry::make(asrText, finalText, DictationSetup::currentMode(m_parts.settings).id, providerId, action);
    entry.cutAt = cutAt;
    m_parts.data.history.add(entry);
    m_parts.state.bumpHistoryVersion();
}

QCoro::Task<void> AskRewriteFlow::ask(FinishedRecording recording)
{
    AppState& state = m_parts.state;
    const std::optional<GatewayClient> client = gatewayFor(recording, QStringLiteral("提问需要网络连接"));
    if (!client)
        co_return;
    const RecordingScene& scene = recording.scene;
    const std::optional<double> cutAt = recording.cutAtSeconds();
    const std::optional<QString> context =
        AskContext::build(scene.startedIn ? scene.startedIn->name : QString(), scene.screen);
    const AskAssistant assistant(*client);
    TranscriptRace::BatchRecognition batch = batchRecognition(*recording.samples);
    // The entry names the recogniser that runs: the assistant's gateway need not be it.
    const QString providerId = batch.provider->id();
    const quint64 generation = recording.generation;
    const QPointer<AskRewriteFlow> self(this);

    std::exception_ptr failure;
    try {
        const QString question = co_await transcript(std::move(recording.session), std::move(batch));
        if (!self || !m_parts.state.isCurrent(generation))
            co_return;
        if (question.isEmpty()) {
            noSpeech();
            co_return;
        }
        m_parts.overlay.hide();
        m_parts.answers.thinking(question);
        const QString answer = co_await assistant.answer(question, context);
        if (!self || !m_parts.state.isCurrent(generation))
            co_return;
        // A blank answer is no answer: nothing to show or keep.
        if (answer.trimmed().isEmpty())
            throw AsrError::emptyResult();
        state.setStatusLine(DictationStatus::noteCut(state.readyStatusLine(), cutAt));
        m_parts.answers.answer(question, answer, recording.scene.target);
        addEntry(question, answer, providerId, HistoryEntry::kAsk, cutAt);
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || !m_parts.state.isCurrent(generation))
        co_return;
    const QString description = MurmoError::userText(failure);
    state.setStatusLine(QStringLiteral("提问失败：") + description);
    // A recognition failure leaves the capsule showing "processing"; the card tells the rest.
    m_parts.overlay.hide();
    m_parts.answers.failed(description);
}

QCoro::Task<void> AskRewriteFlow::rewrite(FinishedRecording recording)
{
    AppState& state = m_parts.state;
    const std::optional<GatewayClient> client = gatewayFor(recording, QStringLiteral("改写需要网络连接"));
    if (!client)
        co_return;
    const QString selection = recording.purpose.selection.value_or(QString());
    const std::optional<QString> target = recording.scene.target;
    const std::optional<double> cutAt = recording.cutAtSeconds();
    const RewriteAssistant assistant(*client);
    TranscriptRace::BatchRecognition batch = batchRecognition(*recording.samples);
    const QString providerId = batch.provider->id();
    const quint64 generation = recording.generation;
    const QPointer<AskRewriteFlow> self(this);

    std::exception_ptr failure;
    try {
        const QString instruction = co_await transcript(std::move(recording.session), std::move(batch));
        if (!self || !m_parts.state.isCurrent(generation))
            co_return;
        if (instruction.isEmpty()) {
            noSpeech();
            co_return;
        }
        state.setStatusLine(QStringLiteral("改写中…"));
        const QString rewritten = co_await assistant.rewrite(selection, instruction);
        if (!self || !m_parts.state.isCurrent(generation))
            co_return;
        const QString text = rewritten.trimmed();
        if (text.isEmpty())
            throw AsrError::emptyResult();

        addEntry(instruction, text, providerId, HistoryEntry::kRewrite, cutAt);
        const bool typed = co_await m_parts.delivery.type(text, target, generation);
        if (!self || !m_parts.state.isCurrent(generation))
            co_return;
        m_parts.delivery.finish(
            text, target, typed,
            TextDelivery::Lines{DictationStatus::noteCut(QStringLiteral("✓ 已改写并替换"), cutAt),
                                DictationStatus::noteCut(QStringLiteral("已复制 · 按 Ctrl+V 替换"), cutAt),
                                std::nullopt, std::nullopt, kCopyHint});
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || !m_parts.state.isCurrent(generation))
        co_return;
    const QString line = QStringLiteral("改写失败：") + MurmoError::userText(failure);
    state.setStatusLine(line);
    m_parts.overlay.fail(line);
}
