#include "app/controller/DictationController.h"

#include "app/controller/AppServices.h"

DictationController::DictationController(AppServices& app, Migrations::FnKeySystem fnKey, QUrl streamingGateway,
                                         QObject* parent)
    : QObject(parent)
    , m_delivery(app.state(), app.overlay(), app.inserter(), app.ports().clipboard, app.ports().workspace)
    , m_failures({app.state(), app.settings(), app.personalData(), app.services(), app.ports().workspace,
                  app.ports().clock, app.overlay(), app.ports().clipboard, m_delivery, m_workers})
    , m_recording({app.state(), app.settings(), app.session(), app.options().signIn.has_value(), app.recorder(),
                   app.ports().workspace, app.ports().accessibility, app.ports().clock, app.overlay(), app.sounds(),
                   app.ducker(), app.services(), app.lexicon(),
                   streamingGateway.isEmpty() ? app.services().endpoints().gateway : std::move(streamingGateway),
                   m_workers, app.history(), app.ports().freedMemory})
    , m_dictation({app.state(), app.settings(), app.personalData(), app.services(), app.ports().workspace,
                   app.ports().clock, app.overlay(), app.ports().clipboard, m_delivery, m_workers},
                  m_failures)
    , m_askRewrite({app.state(), app.settings(), app.personalData(), app.services(), app.ports().clock, app.overlay(),
                    app.answerPopup(), m_delivery})
    , m_wiring(app.state(), app.settings(), app.hotkeys(), m_recording, app.ports().clock, std::move(fnKey))
    , m_learning(app.state(), app.lexicon(), app.inserter(), app.learning(), app.overlay(), app.gateway())
{
    connect(&m_recording, &Recording::recorded, this, &DictationController::take);
    connect(&app.overlay(), &RecordingOverlay::retryRequested, &m_failures, &FailureReport::retry);
}

DictationController::~DictationController()
{
    m_workers.waitForDone();
}

void DictationController::take(const FinishedRecording& recording)
{
    switch (recording.purpose.action) {
    case RecordingPurpose::Action::Dictate:
    case RecordingPurpose::Action::Translate:
        m_dictation.run(recording);
        break;
    case RecordingPurpose::Action::Ask:
        m_askRewrite.ask(recording);
        break;
    case RecordingPurpose::Action::Rewrite:
        m_askRewrite.rewrite(recording);
        break;
    }
}
