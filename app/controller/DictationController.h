#pragma once

#include "app/controller/AskRewriteFlow.h"
#include "app/controller/Dictation.h"
#include "app/controller/EditLearning.h"
#include "app/controller/FailureReport.h"
#include "app/controller/HotkeyWiring.h"
#include "app/controller/Migrations.h"
#include "app/controller/Recording.h"
#include "app/controller/TextDelivery.h"

#include <QObject>
#include <QThreadPool>
#include <QUrl>

class AppServices;

// The controller's flows, built over the application's parts and joined here: the hotkeys drive
// the recording; a finished recording goes to the dictation, or to the ask and rewrite flow, by
// its purpose; failures and their retries, and learning from edits made after an insertion. Main thread only. Stop the
// hotkey engine before this goes (AppServices' destructor does), so that no key call is half-way through posting to it.
class DictationController : public QObject
{
    Q_OBJECT

public:
    // fnKey: the desktop's claim on the Fn key (the Linux stand-in never has one).
    // streamingGateway: where streaming sessions connect, when not the services' gateway (a
    // test's own server).
    DictationController(AppServices& app, Migrations::FnKeySystem fnKey, QUrl streamingGateway = {},
                        QObject* parent = nullptr);
    // Waits for the encoding or decoding still on the workers.
    ~DictationController() override;

    // Installs the hotkey bindings; once, after the settings are migrated and before the engine
    // starts.
    void installHotkeys() { m_wiring.install(); }

    Recording& recording() { return m_recording; }
    // The program is ending; see TextDelivery::stop().
    int stopTyping() { return m_delivery.stop(); }

private:
    void take(const FinishedRecording& recording);

    // Declared first, destroyed last: it drains the jobs that reach into the stores.
    QThreadPool m_workers;
    TextDelivery m_delivery;
    FailureReport m_failures;
    Recording m_recording;
    Dictation m_dictation;
    AskRewriteFlow m_askRewrite;
    HotkeyWiring m_wiring;
    EditLearning m_learning;
};
