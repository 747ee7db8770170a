#include "app/controller/DictationFlows.h"

#include "app/controller/AppServices.h"

DictationFlows::DictationFlows(AppServices& app, QObject* parent)
    : DictationFlows(app, app.services().endpoints().gateway, parent)
{}

DictationFlows::DictationFlows(AppServices& app, QUrl streamingGateway, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_failures(app, m_workers)
    , m_dictation(app, m_failures, m_workers)
    , m_start(app, m_recording, std::move(streamingGateway))
    , m_stop(app, m_recording, m_dictation, m_workers)
{
    connect(&m_start, &RecordingStart::limitReached, &m_stop, &RecordingStop::stopAndTranscribe);
    connect(&app.overlay(), &RecordingOverlay::retryRequested, &m_failures, &FailureReport::retry);
}

DictationFlows::~DictationFlows()
{
    // Quitting mid-recording (the window closed, SIGTERM) must not leave the other programs
    // ducked; the ducker finishes the restore before it goes.
    if (m_app.state().isRecording()) {
        m_app.recorder().stop();
        m_app.ducker().restore();
    }
    m_workers.waitForDone();
}

PendingActions DictationFlows::pendingActions() const
{
    PendingActions pending;
    pending.translate = m_recording.pendingTranslate;
    pending.ask = m_recording.pendingAsk;
    pending.rewrite = m_recording.pendingRewrite;
    pending.rewriteSelection = m_recording.rewriteSelection;
    return pending;
}

void DictationFlows::setPendingActions(const PendingActions& pending)
{
    m_recording.pendingTranslate = pending.translate;
    m_recording.pendingAsk = pending.ask;
    m_recording.pendingRewrite = pending.rewrite;
    m_recording.rewriteSelection = pending.rewriteSelection;
}
