#include "app/controller/AppServices.h"

#include "app/desktop/AudioDucker.h"
#include "core/store/StoreFile.h"
#include "platform/ProcessLauncher.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QStandardPaths>
#include <QThreadPool>

namespace {

// The data directory, made before any store opens over it. A failure (a file in its place, no
// permission) is left to the stores, which then start empty. What older versions left in it
// readable to others is closed, off the main thread: it may hold thousands of recordings.
const QString& prepared(const QString& directory)
{
    QDir().mkpath(directory);
    QThreadPool::globalInstance()->start([directory] { StoreFile::makeTreePrivate(directory); });
    return directory;
}

GatewayAccount::Config gatewayConfig(const AppServices::Options& options)
{
    GatewayAccount::Config config = options.gateway;
    config.signInConfigured = options.signIn.has_value();
    return config;
}

} // namespace

AppServices::Options AppServices::Options::standard(HttpTransport& transport)
{
    Options options;
    options.settingsFile = Settings::defaultPath();
    options.dataDirectory = standardDataDirectory();
    options.duckerStateFile = AudioDucker::defaultStateFile();
    options.endpoints = ServiceChoice::Endpoints::resolved(transport);
    options.signIn = SupabaseAuth::Config::baked();
    return options;
}

QString AppServices::Options::standardDataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Murmo");
}

AppServices::AppServices(const Ports& ports, OverlayScreens& screens, Options options, QObject* parent)
    : QObject(parent)
    , m_ports(ports)
    , m_options(std::move(options))
    , m_settings(m_options.settingsFile, &ports.secrets)
    , m_state(m_settings)
    , m_session(ports.secrets, *m_options.endpoints.transport, ports.clock, m_options.signIn)
    , m_lexicon(std::make_shared<Lexicon>(prepared(m_options.dataDirectory), &ports.freedMemory))
    , m_history(m_options.dataDirectory, &ports.freedMemory)
    , m_styleProfile(m_options.dataDirectory)
    , m_hotkeys(ports.keys, ports.clock)
    , m_recorder(ports.audioInput)
    , m_inserter(ports.clipboard, ports.keySynthesizer, ports.workspace, ports.accessibility, ports.clock)
    , m_learning(ports.accessibility, ports.clock)
    , m_sounds(ports.soundOutput, ports.clock)
    , m_overlay(ports.clock, screens, ports.compositing)
    , m_popup(m_inserter, ports.clipboard, ports.clock, screens, ports.compositing)
    , m_preview(ports.soundOutput)
    , m_ducker(ports.outputVolume, m_options.duckerStateFile)
    , m_services(m_settings, m_session, ports.clock, m_options.endpoints, gatewayConfig(m_options))
    , m_gateway(m_state, m_settings, m_services, m_lexicon)
    , m_feedback(m_state, m_settings, ports.appearance, m_sounds, m_learning, m_overlay, m_popup)
    , m_customRules(m_state, m_settings, m_services)
{
    // A paste waiting for the talk key to be let go goes at its release.
    connect(&m_inserter, &TextInserter::keyReleaseWanted, &m_hotkeys, &HotkeyEngine::watchNextRelease);
    connect(&m_hotkeys, &HotkeyEngine::keyReleased, &m_inserter, &TextInserter::keyReleased);
    if (!m_options.browser)
        m_options.browser = [&launcher = ports.launcher](const QUrl& url) { return launcher.openUrl(url); };
}

AppServices::~AppServices()
{
    // Watches and callbacks into the parts end before the parts do.
    m_ports.workspace.setActiveWindowObserver({});
    m_hotkeys.stop();
}
