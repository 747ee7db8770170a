#include "app/controller/ControllerStartup.h"

#include "app/controller/AppState.h"
#include "app/controller/FeedbackBinding.h"
#include "app/controller/GatewayAccount.h"
#include "app/controller/Settings.h"
#include "app/desktop/BackgroundDucker.h"
#include "app/desktop/FnKeyHelpers.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/account/SessionStore.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

ControllerStartup::ControllerStartup(Parts parts, Migrations::FnKeySystem fnKey, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_fnKey(std::move(fnKey))
    , m_hotkeyStatus(m_parts.state, m_parts.hotkeys)
{}

Migrations::FnKeySystem ControllerStartup::linuxFnKey()
{
    return Migrations::FnKeySystem{&FnKeyHelpers::fnKeyHijacksSystem, &FnKeyHelpers::setFnKeyToNoAction};
}

QString ControllerStartup::settingsUnsavedLine()
{
    return QStringLiteral("设置无法保存：设置文件夹不可写，本次按默认设置运行");
}

QString ControllerStartup::settingsNotWrittenLine()
{
    return QStringLiteral("设置无法保存：设置文件写入失败，本次的更改退出后不会保留");
}

QString ControllerStartup::settingsSetAsideLine(const QString& keptAs)
{
    return QStringLiteral("设置文件已损坏，已另存为 ") + QFileInfo(keptAs).fileName() +
           QStringLiteral("，设置已恢复默认");
}

QCoro::Task<void> ControllerStartup::start()
{
    prepare();
    startHotkeys();
    return finish();
}

void ControllerStartup::prepare()
{
    Settings& settings = m_parts.settings;
    m_heldWrites.emplace(settings);
    Migrations::migrateSettings(settings);
    m_lexiconSteps = Migrations::claimLexiconSteps(settings);
    Q_EMIT settingsMigrated();
    m_parts.feedback.applyAll();
}

void ControllerStartup::startHotkeys()
{
    m_hotkeyStatus.start();
}

QCoro::Task<void> ControllerStartup::finish()
{
    Migrations::releaseFnKeyFromSystem(m_parts.settings, m_fnKey);
    // Before the held writes try the file, whether it could be opened at all.
    const bool fileOpened = m_parts.settings.canSave();
    m_heldWrites.reset();
    // The seed waits for the lexicon's file to be read, which takes a second for a large one;
    // nothing on screen needs it, so it runs on a worker. The lexicon takes calls from any thread.
    QFuture<bool> lexiconSeeded = QtConcurrent::run(
        [lexicon = m_parts.lexicon, steps = m_lexiconSteps] { return Migrations::seedLexicon(*lexicon, steps); });
    // A volume left lowered by a crash comes back without holding anything up.
    QCoro::Task<void> duckerRepair = m_parts.ducker.restoreAfterCrash();
    watchDesktop();
    return background(std::move(duckerRepair), std::move(lexiconSeeded), fileOpened);
}

void ControllerStartup::tellUnsavedSettings(bool fileOpened)
{
    if (!m_parts.settings.canSave())
        m_parts.state.showNotice(fileOpened ? settingsNotWrittenLine() : settingsUnsavedLine());
    // A write that fails later is told as it fails; one that keeps failing, once.
    connect(&m_parts.settings, &Settings::savingFailed, this,
            [this] { m_parts.state.showNotice(settingsNotWrittenLine()); });
}

void ControllerStartup::watchDesktop()
{
    // Coming back to the program is when a user who has just granted access expects the hotkeys
    // to work, so that is when they are tried again.
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState appState) {
            if (appState == Qt::ApplicationActive && !m_parts.state.hotkeysActive())
                m_hotkeyStatus.retry();
        });
    }
    QPointer<ControllerStartup> self(this);
    const auto activeWindowChanged = [self] {
        if (!self)
            return;
        self->m_parts.overlay.followActiveScreen();
        Q_EMIT self->activeWindowChanged();
    };
    m_parts.workspace.setActiveWindowObserver(activeWindowChanged);
    // What is in front as the watch begins counts as the first change.
    activeWindowChanged();
}

QCoro::Task<void> ControllerStartup::background(QCoro::Task<void> duckerRepair, QFuture<bool> lexiconSeeded,
                                                bool fileOpened)
{
    QPointer<ControllerStartup> self(this);
    // A recording may have started meanwhile; its status line stays. With the hotkeys dead the idle
    // line is their warning.
    m_parts.state.reportInBackground(m_parts.state.readyStatusLine());
    // Said once: the next start finds the fresh file. A notice, so that what the background
    // reports next (a lexicon sync) does not take its place before the user has read it.
    const QString setAside = m_parts.settings.setAsidePath();
    if (!setAside.isEmpty())
        m_parts.state.showNotice(settingsSetAsideLine(setAside));
    tellUnsavedSettings(fileOpened);
    // The seed comes before anything that may sync the lexicon with the account.
    const bool purged = co_await lexiconSeeded;
    if (!self)
        co_return;
    // Rules the purge removed may have been shown in the history's corrections.
    if (purged)
        m_parts.state.bumpHistoryVersion();
    co_await m_parts.settings.loadSecrets();
    if (!self)
        co_return;
    // The signed-in user's token is the gateway credential, so it is read before the gateway is.
    co_await m_parts.session.load();
    if (!self)
        co_return;
    co_await m_parts.gateway.startup();
    co_await std::move(duckerRepair);
}
