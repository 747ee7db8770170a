#include "app/controller/DictationController.h"

#include "app/controller/AppServices.h"

DictationController::DictationController(AppServices& app, Migrations::FnKeySystem fnKey, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_flows(app)
    , m_actions(app.state(), m_flows, app.overlay(), app.ports().accessibility, app.ports().clock)
    , m_wiring(app.state(), app.hotkeys(), m_actions, m_flows, std::move(fnKey))
    , m_askRewrite(app)
    , m_learning(app.state(), app.lexicon(), app.inserter(), app.learning(), app.overlay(), app.gateway())
    , m_history(app.state(), app.personalData(), app.services(), app.gateway(), app.overlay(), app.ports().clock)
{
    connect(&m_flows.stopper(), &RecordingStop::askRecorded, this, &DictationController::answer);
    connect(&m_flows.stopper(), &RecordingStop::rewriteRecorded, this, &DictationController::rewrite);
}

void DictationController::answer(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session)
{
    // The scene is the one the recording started in; it is read now, before the next recording
    // replaces it.
    const RecordingState& recording = m_flows.recording();
    AskRewriteFlow::AskScene scene;
    if (recording.frontmostApp)
        scene.appName = recording.frontmostApp->name;
    scene.screen = recording.screenContext;
    scene.target = m_flows.stopper().targetBundleId();
    m_askRewrite.askWith(samples, std::move(session), std::move(scene));
}

void DictationController::rewrite(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session,
                                  const QString& selection)
{
    m_askRewrite.rewriteWith(samples, std::move(session), selection, m_flows.stopper().targetBundleId());
}
