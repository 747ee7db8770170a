#pragma once

#include "app/controller/AskRewriteFlow.h"
#include "app/controller/DictationFlows.h"
#include "app/controller/EditLearning.h"
#include "app/controller/HistoryOperations.h"
#include "app/controller/HotkeyWiring.h"
#include "app/controller/Migrations.h"
#include "app/controller/RecordingActions.h"

#include <QObject>

class AppServices;

// The controller's operations over the application's parts: the dictation flows, the commands
// the hotkeys drive, the ask and rewrite flows that take the recordings meant for them, learning
// from edits made after an insertion, and the operations on stored history. Main thread only.
// Stop the hotkey engine before this goes (AppServices' destructor does), so that no key call is
// half-way through posting to it.
class DictationController : public QObject
{
    Q_OBJECT

public:
    // fnKey: the desktop's claim on the Fn key (the Linux stand-in never has one).
    DictationController(AppServices& app, Migrations::FnKeySystem fnKey, QObject* parent = nullptr);

    // Installs the hotkey bindings; once, after the settings are migrated and before the engine
    // starts.
    void installHotkeys() { m_wiring.install(); }

    HotkeyWiring& hotkeys() { return m_wiring; }
    HistoryOperations& history() { return m_history; }

private:
    void answer(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session);
    void rewrite(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session, const QString& selection);

    AppServices& m_app;
    DictationFlows m_flows;
    RecordingActions m_actions;
    HotkeyWiring m_wiring;
    AskRewriteFlow m_askRewrite;
    EditLearning m_learning;
    HistoryOperations m_history;
};
