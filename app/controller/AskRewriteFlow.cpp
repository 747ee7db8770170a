#include "app/controller/AskRewriteFlow.h"

#include "app/controller/AppServices.h"
#include "app/controller/AskContext.h"
#include "app/controller/DictationSetup.h"
#include "core/MurmoError.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingTranscriptSource.h"
#include "core/store/HistoryEntry.h"
#include "core/text/AskAssistant.h"
#include "core/text/RewriteAssistant.h"
#include "core/text/StyleMode.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

#include <QPointer>
#include <QWebSocketProtocol>

#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr int kSampleRate = 16000;
constexpr std::chrono::milliseconds kRaceDelay = 2000ms;

} // namespace

AskRewriteFlow::AskRewriteFlow(AppServices& app, QObject* parent)
    : QObject(parent)
    , m_app(app)
{}

TranscriptRace::BatchRecognition AskRewriteFlow::batchRecognition(Samples samples) const
{
    TranscriptRace::BatchRecognition batch;
    batch.provider = m_app.services().makeProvider();
    batch.vocabulary = m_app.lexicon()->asrHotwords();
    batch.samples = std::move(samples);
    batch.languageHint = DictationSetup::languageHint(m_app.settings());
    return batch;
}

QCoro::Task<QString> AskRewriteFlow::transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                                TranscriptRace::BatchRecognition batch) const
{
    if (session) {
        const TranscriptRace race(m_app.ports().clock);
        std::optional<QString> raced;
        try {
            raced = co_await race.finishRaw(session, batch, kRaceDelay);
        } catch (...) {
            // The session failed before batch recognition was under way: that is the fallback.
        }
        if (raced)
            co_return raced->trimmed();
    }
    const QByteArray wav = WavEncoder::encode(batch.samples, kSampleRate);
    const QString text = co_await batch.provider->transcribe(wav, batch.vocabulary, batch.languageHint);
    co_return text.trimmed();
}

bool AskRewriteFlow::isCurrent(quint64 generation) const
{
    return m_app.state().generation() == generation;
}

std::optional<GatewayClient> AskRewriteFlow::startProcessing(const QString& status, const QString& offline,
                                                             const std::shared_ptr<StreamingTranscriptSource>& session)
{
    m_app.sounds().play(QStringLiteral("stop"));
    m_app.state().setStatusLine(status);
    m_app.overlay().showProcessing();
    std::optional<GatewayClient> client = m_app.services().gatewayClient();
    if (client)
        return client;
    // Nobody will finish the session now; left open it would keep the connection.
    if (session)
        session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
    m_app.state().setStatusLine(offline);
    m_app.overlay().fail(offline);
    return std::nullopt;
}

void AskRewriteFlow::noSpeech()
{
    m_app.state().setStatusLine(QStringLiteral("未识别到语音"));
    m_app.overlay().hide();
}

void AskRewriteFlow::addEntry(const QString& asrText, const QString& finalText, const QString& providerId,
                              const QString& action)
{
    // Without samples: a question or an instruction keeps no recording.
    m_app.history().add(
        HistoryEntry::make(asrText, finalText, DictationSetup::currentMode(m_app.settings()).id, providerId, action));
    m_app.state().bumpHistoryVersion();
}

QCoro::Task<void> AskRewriteFlow::askWith(Samples samples, std::shared_ptr<StreamingTranscriptSource> session,
                                          AskScene scene)
{
    AppState& state = m_app.state();
    const std::optional<GatewayClient> client =
        startProcessing(QStringLiteral("提问识别中…"), QStringLiteral("提问需要网络连接"), session);
    if (!client)
        co_return;
    const std::optional<QString> context = AskContext::build(scene.appName, scene.screen);
    const AskAssistant assistant(*client);
    TranscriptRace::BatchRecognition batch = batchRecognition(std::move(samples));
    // The entry names the recogniser that runs: the assistant's gateway need not be it.
    const QString providerId = batch.provider->id();
    const quint64 generation = state.advanceGeneration();
    const QPointer<AskRewriteFlow> self(this);

    std::exception_ptr failure;
    try {
        const QString question = co_await transcript(std::move(session), std::move(batch));
        if (!self || !isCurrent(generation))
            co_return;
        if (question.isEmpty()) {
            noSpeech();
            co_return;
        }
        m_app.overlay().hide();
        m_app.answerPopup().thinking(question);
        const QString answer = co_await assistant.answer(question, context);
        if (!self || !isCurrent(generation))
            co_return;
        state.setStatusLine(state.readyStatusLine());
        m_app.answerPopup().answer(question, answer, scene.target);
        addEntry(question, answer, providerId, QStringLiteral("ask"));
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || !isCurrent(generation))
        co_return;
    const QString description = MurmoError::userText(failure);
    state.setStatusLine(QStringLiteral("提问失败：") + description);
    // A recognition failure leaves the capsule showing "processing"; the card tells the rest.
    m_app.overlay().hide();
    m_app.answerPopup().failed(description);
}

QCoro::Task<void> AskRewriteFlow::rewriteWith(Samples samples, std::shared_ptr<StreamingTranscriptSource> session,
                                              QString selection, std::optional<QString> target)
{
    AppState& state = m_app.state();
    const std::optional<GatewayClient> client =
        startProcessing(QStringLiteral("改写识别中…"), QStringLiteral("改写需要网络连接"), session);
    if (!client)
        co_return;
    const RewriteAssistant assistant(*client);
    TranscriptRace::BatchRecognition batch = batchRecognition(std::move(samples));
    const QString providerId = batch.provider->id();
    const quint64 generation = state.advanceGeneration();
    const QPointer<AskRewriteFlow> self(this);

    std::exception_ptr failure;
    try {
        const QString instruction = co_await transcript(std::move(session), std::move(batch));
        if (!self || !isCurrent(generation))
            co_return;
        if (instruction.isEmpty()) {
            noSpeech();
            co_return;
        }
        state.setStatusLine(QStringLiteral("改写中…"));
        const QString rewritten = co_await assistant.rewrite(selection, instruction);
        if (!self || !isCurrent(generation))
            co_return;
        const QString text = rewritten.trimmed();
        if (text.isEmpty())
            throw AsrError::emptyResult();

        bool inserted = false;
        // A refused insertion has put the text on the clipboard already.
        if (target != m_app.ports().workspace.ownBundleId())
            inserted = m_app.inserter().insert(text, target);
        else
            m_app.ports().clipboard.setText(text);
        state.setStatusLine(inserted ? QStringLiteral("✓ 已改写并替换") : QStringLiteral("已复制 · 按 Ctrl+V 替换"));
        m_app.overlay().finish(text, inserted, kCopyHint);
        addEntry(instruction, text, providerId, QStringLiteral("rewrite"));
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || !isCurrent(generation))
        co_return;
    const QString line = QStringLiteral("改写失败：") + MurmoError::userText(failure);
    state.setStatusLine(line);
    m_app.overlay().fail(line);
}
