#include "app/shell/MurmoApplication.h"

#include "app/account/LoginView.h"
#include "app/desktop/AppRelauncher.h"
#include "app/desktop/MurmoPermission.h"
#include "app/settings/GeneralTab.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/FirstFrame.h"
#include "app/shell/HistoryWindow.h"
#include "app/shell/InstallLocation.h"
#include "app/shell/PermissionRow.h"

#include <QApplication>
#include <QIcon>
#include <QShortcut>

#include <cstdio>

MurmoApplication::MurmoApplication(const Ports& ports, OverlayScreens& screens, AppServices::Options options,
                                   QObject* parent)
    : QObject(parent)
    , m_services(ports, screens, std::move(options))
    , m_historySaving(m_services.history(), m_services.state(), ports.clock)
    , m_lexiconSaving(*m_services.lexicon(), m_services.state(), ports.clock)
    , m_quitGuard(
          {&m_historySaving, &m_lexiconSaving}, [this] { quit(); },
          [this]() -> QWidget* {
              if (!m_history)
                  return nullptr;
              m_history->bringToFront();
              return m_history.get();
          })
    , m_signIn(m_services.session(), *m_services.options().endpoints.transport, m_services.options().signIn,
               m_services.options().endpoints.gateway, m_services.options().browser)
    , m_startup({m_services.state(), m_services.settings(), m_services.hotkeys(), m_services.feedback(),
                 m_services.lexicon(), m_services.ducker(), ports.workspace, m_services.overlay(), m_services.session(),
                 m_services.gateway()})
    , m_controller(m_services, ControllerStartup::linuxFnKey())
    , m_historyOperations(m_services.state(), m_services.settings(), m_services.personalData(), m_services.services(),
                          m_services.gateway(), m_services.overlay(), ports.clock)
    , m_permissions(ports.permissions, PermissionsModel::FirstLook::atStart)
    , m_editors({m_services.state(), m_services.settings(), m_services.hotkeys(), ports.workspace, ports.launcher,
                 m_services.customRules(), m_services.personalData()},
                SettingsEditorKit::Controller{[this] { return m_historyOperations.refreshStyleProfile(); }})
{
    connect(&m_startup, &ControllerStartup::settingsMigrated, &m_controller, &DictationController::installHotkeys);
    connect(&m_startup, &ControllerStartup::activeWindowChanged, &m_editors, &SettingsEditorKit::activeWindowChanged);
}

MurmoApplication::~MurmoApplication()
{
    // The windows observe the controller; they go first.
    delete m_settings.data();
    m_history.reset();
}

void MurmoApplication::start()
{
    m_startup.prepare();
    // Ctrl+Q, "murmo --quit", a termination signal and a relaunch all ask the application to quit.
    if (QCoreApplication* application = QCoreApplication::instance())
        m_quitGuard.watch(*application);

    const Ports& ports = m_services.ports();
    HistoryView::Parts parts{m_services.state(),
                             m_services.settings(),
                             m_services.history(),
                             *m_services.lexicon(),
                             m_permissions,
                             ports.permissions,
                             ports.launcher,
                             m_services.preview(),
                             m_historyOperations,
                             ports.clock,
                             {},
                             {},
                             InstallLocation::current(),
                             QCoreApplication::applicationFilePath()};
    m_history = std::make_unique<HistoryWindow>(std::move(parts), m_services.settings().flag(SettingKey::didOnboard));
    HistoryView* view = m_history->view();
    connect(view, &HistoryView::settingsRequested, this, &MurmoApplication::showSettings);
    connect(view, &HistoryView::retryHotkeysRequested, this, [this] { m_startup.hotkeyStatus().retry(); });
    connect(view, &HistoryView::relaunchRequested, this, &MurmoApplication::relaunch);
    connect(view, &HistoryView::loginRequested, this, &MurmoApplication::showLoginSheet);
    connect(m_history.get(), &HistoryWindow::onboardingDone, this,
            [this] { m_services.settings().setValue(SettingKey::didOnboard, true); });
    // Quitting is the one way to end the program (closing windows leaves it listening).
    // Spelled out: the standard Quit key is empty under some platform themes' key schemes.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), m_history.get());
    quit->setContext(Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, qApp, &QCoreApplication::quit);
    m_history->show();
    // The account's address is asked for once the keyring's session is read, which start-up's
    // background part does.
    SessionStore& session = m_services.session();
    if (session.isLoaded())
        refreshAccount();
    else
        connect(&session, &SessionStore::loadFinished, this, &MurmoApplication::refreshAccount,
                Qt::SingleShotConnection);
    // The rest of start-up, and the first look at the permissions (whose banners and first-run
    // rows follow their answers), come after the window's first frame; nothing in it waits for
    // them. Each step costs a few milliseconds with the repaint it brings: they come one at a time.
    const FirstFrame::Step setIcon = [] {
        // Drawing the icon at every size the window manager may want takes a few milliseconds;
        // the windows take it up when it is set.
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/murmo.svg")));
    };
    const FirstFrame::Step lookAtPermissions = [this] { m_permissions.start(); };
    const FirstFrame::Step startHotkeys = [this] { m_startup.startHotkeys(); };
    const FirstFrame::Step finishStartup = [this] { runBackgroundStartup(m_startup.finish()); };
    FirstFrame::after(m_history.get(), {setIcon, lookAtPermissions, startHotkeys, finishStartup});
}

QCoro::Task<void> MurmoApplication::runBackgroundStartup(QCoro::Task<void> background)
{
    // Start-up's background part never fails; it is held here so that it runs to its end.
    co_await std::move(background);
}

void MurmoApplication::handleLaunch(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        const QUrl url(argument);
        if (url.scheme() != QLatin1String("murmo"))
            continue;
        m_signIn.handleCallback(url);
        return;
    }
    if (m_history)
        m_history->bringToFront();
}

void MurmoApplication::shutDown()
{
    m_services.hotkeys().stop();
    // Queued on the ducker's own thread, which its destructor drains before the process ends.
    m_services.ducker().restore();
    // The lexicon writes on its worker; a sync pass still holding it would keep the last change
    // from being written when the lexicon goes. What the disk still refuses (the user chose to
    // quit anyway) is said where a quit from a terminal is seen.
    for (StoreSaving* saving : {&m_historySaving, &m_lexiconSaving}) {
        if (!saving->saveNow())
            std::fprintf(stderr, "%s没能写进磁盘（磁盘可能已满），已随退出丢失。\n",
                         saving->texts().unsaved.toUtf8().constData());
    }
}

void MurmoApplication::quit()
{
    m_keptTexts = m_controller.stopTyping();
    // Said where a quit from a terminal or a session's end is seen; "murmo --quit" hears it too.
    if (m_keptTexts > 0)
        std::fprintf(stderr, "%s。\n", TextDelivery::kKeptInHistory.toUtf8().constData());
    QCoreApplication::quit();
}

void MurmoApplication::relaunch()
{
    AppRelauncher(m_services.ports().launcher, [] { QCoreApplication::quit(); }).relaunch();
}

void MurmoApplication::showSettings()
{
    if (!m_settings) {
        AppServices::Options const& options = m_services.options();
        SettingsWindow::Parts parts(m_services.state(), m_services.settings(), m_services.ports().permissions,
                                    m_services.ports().clock, m_services.sounds());
        parts.session = &m_services.session();
        parts.signIn = &m_signIn;
        parts.gatewayURL = options.endpoints.gateway;
        parts.editors = m_editors.editors();
        m_settings = new SettingsWindow(std::move(parts));
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_settings, &SettingsWindow::requestGrant, this, [this](MurmoPermission permission) {
            m_settings->generalTab()
                ->permissionRow(permission)
                ->setHint(MurmoPermissions::requestWithHint(permission, m_services.ports().permissions,
                                                            m_services.ports().launcher));
        });
        connect(m_settings, &SettingsWindow::relaunchRequested, this, &MurmoApplication::relaunch);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void MurmoApplication::showLoginSheet()
{
    if (m_login || !m_history)
        return;
    auto* sheet = new LoginView(m_signIn, true);
    m_login = sheet;
    const auto close = [this] { m_services.state().setShowLoginGate(false); };
    connect(sheet, &LoginView::done, this, close);
    connect(sheet, &LoginView::cancelled, this, close);
    m_history->view()->showLoginSheet(sheet);
    m_history->bringToFront();
}

QCoro::Task<void> MurmoApplication::refreshAccount()
{
    SessionStore& session = m_services.session();
    if (!session.isLoggedIn())
        co_return;
    // Renews a token that is about to expire (or that the gateway refuses) on the way.
    co_await session.refreshMe(m_services.options().endpoints.gateway);
}
