#pragma once

#include "app/controller/AppServices.h"
#include "app/controller/RecordingCommands.h"

#include <QStringList>

using namespace std::chrono_literals;

// The recording flows reduced to what the hotkeys see of them: the recording state, the engine's
// recording mode and switch window, and a log of the commands in the order they came.
class FakeRecordingCommands : public RecordingCommands
{
public:
    explicit FakeRecordingCommands(AppServices& app)
        : m_app(app)
    {}

    void startRecording() override
    {
        log << (pending.translate ? QStringLiteral("start translate") : QStringLiteral("start"));
        m_app.state().advanceGeneration();
        m_app.state().setCurrentAction(pending.translate ? AppState::RecordAction::Translate
                                                         : AppState::RecordAction::Dictate);
        m_app.state().setRecording(true);
        m_app.hotkeys().setSwitchDeadline(m_app.ports().clock.now() + 1s);
        m_app.hotkeys().setRecordingActive(true);
    }
    void stopAndTranscribe() override
    {
        if (!m_app.state().isRecording())
            return;
        log << QStringLiteral("stop");
        end();
    }
    void cancelDictation() override
    {
        if (!m_app.state().isRecording())
            return;
        log << QStringLiteral("cancel");
        m_app.state().advanceGeneration();
        end();
    }
    PendingActions pendingActions() const override { return pending; }
    void setPendingActions(const PendingActions& actions) override { pending = actions; }

    QStringList log;
    PendingActions pending;

private:
    void end()
    {
        pending = {};
        m_app.state().setCurrentAction(AppState::RecordAction::Dictate);
        m_app.state().setRecording(false);
        m_app.hotkeys().setRecordingActive(false);
    }

    AppServices& m_app;
};
