#pragma once

#include "app/controller/DictationTask.h"
#include "app/controller/FailureReport.h"
#include "app/controller/RecordingCommands.h"
#include "app/controller/RecordingStart.h"
#include "app/controller/RecordingState.h"
#include "app/controller/RecordingStop.h"

#include <QObject>
#include <QThreadPool>

class AppServices;

// The recording commands as the hotkeys and menus call them, over one recording state: start,
// stop and transcribe, cancel, and the overlay's retry. Main thread only.
class DictationFlows : public QObject, public RecordingCommands
{
    Q_OBJECT

public:
    // Sessions connect to the gateway the services use.
    explicit DictationFlows(AppServices& app, QObject* parent = nullptr);
    // streamingGateway: another address for the streaming sessions (a test's own server).
    DictationFlows(AppServices& app, QUrl streamingGateway, QObject* parent = nullptr);
    // Gives a ducked volume back and waits for the encoding or decoding still on the workers.
    ~DictationFlows() override;

    void startRecording() override { m_start.startRecording(); }
    void stopAndTranscribe() override { m_stop.stopAndTranscribe(); }
    void cancelDictation() override { m_stop.cancelDictation(); }
    PendingActions pendingActions() const override;
    void setPendingActions(const PendingActions& pending) override;
    void retry() { m_failures.retry(); }

    RecordingState& recording() { return m_recording; }
    RecordingStop& stopper() { return m_stop; }

private:
    AppServices& m_app;
    // Declared first, destroyed last: it drains the jobs that reach into the stores.
    QThreadPool m_workers;
    RecordingState m_recording;
    FailureReport m_failures;
    DictationTask m_dictation;
    RecordingStart m_start;
    RecordingStop m_stop;
};
