#pragma once

#include "app/controller/AppState.h"
#include "app/controller/CustomWritingRules.h"
#include "app/controller/FeedbackBinding.h"
#include "app/controller/GatewayAccount.h"
#include "app/controller/PersonalData.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "app/desktop/BackgroundDucker.h"
#include "app/desktop/HotkeyEngine.h"
#include "app/desktop/InputLearningMonitor.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/AudioPreview.h"
#include "app/feedback/RecordingOverlay.h"
#include "app/feedback/SoundFX.h"
#include "core/account/SessionStore.h"
#include "core/account/SignInFlow.h"
#include "core/audio/AudioRecorder.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "core/store/StyleProfile.h"
#include "platform/Ports.h"

#include <QObject>

#include <memory>

class HttpTransport;
class OverlayScreens;

// The application's parts, owned in one place and built over the ports, so that the program and
// the tests assemble the same thing: the settings and the observed state, the signed-in session,
// the personal-data stores, the hotkey engine and recorder, insertion and learning, the floating
// panels, the cues and the ducker, and the gateway services. Every flow takes the parts it needs by reference
// from here. Main thread only.
class AppServices : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString settingsFile;
        // Created here when missing; a failure leaves the stores empty.
        QString dataDirectory;
        QString duckerStateFile;
        // Its transport is required: every client, the session's included, sends through it.
        ServiceChoice::Endpoints endpoints;
        // Where users sign in; none when sign-in is not configured, and then this computer
        // registers with the gateway for a device token instead.
        std::optional<SupabaseAuth::Config> signIn;
        // Where a web sign-in goes; empty: the desktop's browser, through the ports' launcher.
        SignInFlow::UrlOpener browser;
        // The device's registration; whether sign-in is configured is taken from signIn.
        GatewayAccount::Config gateway;

        // The user's own places (~/.config/Murmo, ~/.local/share/Murmo) and the compiled-in
        // services, reached through transport.
        static Options standard(HttpTransport& transport);
        // ~/.local/share/Murmo.
        static QString standardDataDirectory();
    };

    AppServices(const Ports& ports, OverlayScreens& screens, Options options, QObject* parent = nullptr);
    ~AppServices() override;

    const Ports& ports() const { return m_ports; }
    const Options& options() const { return m_options; }

    Settings& settings() { return m_settings; }
    AppState& state() { return m_state; }
    SessionStore& session() { return m_session; }
    std::shared_ptr<Lexicon> lexicon() { return m_lexicon; }
    HistoryStore& history() { return m_history; }
    StyleProfile& styleProfile() { return m_styleProfile; }
    PersonalData personalData() { return {m_history, m_lexicon, m_styleProfile}; }
    HotkeyEngine& hotkeys() { return m_hotkeys; }
    AudioRecorder& recorder() { return m_recorder; }
    TextInserter& inserter() { return m_inserter; }
    InputLearningMonitor& learning() { return m_learning; }
    SoundFX& sounds() { return m_sounds; }
    RecordingOverlay& overlay() { return m_overlay; }
    AnswerPopup& answerPopup() { return m_popup; }
    AudioPreview& preview() { return m_preview; }
    BackgroundDucker& ducker() { return m_ducker; }
    ServiceSelector& services() { return m_services; }
    GatewayAccount& gateway() { return m_gateway; }
    FeedbackBinding& feedback() { return m_feedback; }
    CustomWritingRules& customRules() { return m_customRules; }

private:
    Ports m_ports;
    Options m_options;
    Settings m_settings;
    AppState m_state;
    SessionStore m_session;
    // The stores open after the directory exists; the lexicon is shared with sync passes that
    // may outlive a single call.
    std::shared_ptr<Lexicon> m_lexicon;
    HistoryStore m_history;
    StyleProfile m_styleProfile;
    HotkeyEngine m_hotkeys;
    AudioRecorder m_recorder;
    TextInserter m_inserter;
    InputLearningMonitor m_learning;
    SoundFX m_sounds;
    RecordingOverlay m_overlay;
    AnswerPopup m_popup;
    AudioPreview m_preview;
    BackgroundDucker m_ducker;
    ServiceSelector m_services;
    GatewayAccount m_gateway;
    FeedbackBinding m_feedback;
    CustomWritingRules m_customRules;
};
