#pragma once

#include "app/controller/AppServices.h"
#include "app/controller/ControllerStartup.h"
#include "app/controller/DictationController.h"
#include "app/controller/HistoryOperations.h"
#include "app/desktop/PermissionsModel.h"
#include "app/settings/SettingsWindow.h"
#include "app/settings/editors/SettingsEditorKit.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StoreSaving.h"
#include "core/account/SignInFlow.h"

#include <QObject>
#include <QPointer>

#include <memory>

class HistoryWindow;
class LoginView;
class OverlayScreens;

// The program as a person meets it: the controller over the application's parts, the main
// window with the history, the settings window, and the sign-in, shown in a sheet while a
// recording asks for it. Built once by the entry point over the Linux adapters (tests build it over fakes). Main
// thread only.
class MurmoApplication : public QObject
{
    Q_OBJECT

public:
    // options: where the settings and data live and which services answer
    // (AppServices::Options::standard for the program).
    MurmoApplication(const Ports& ports, OverlayScreens& screens, AppServices::Options options,
                     QObject* parent = nullptr);
    ~MurmoApplication() override;

    // Brings the controller up and shows the main window. The rest of start-up (the desktop's
    // watches, then in the background the keyring, registration, lexicon sync) follows from the
    // event loop.
    void start();

    // A later launch's arguments: a "murmo:" sign-in callback, or nothing (show the window).
    void handleLaunch(const QStringList& arguments);

    // Gives back a lowered output volume and writes a history or lexicon that could not be saved;
    // called as the event loop ends. A quit that would lose either is put to the user first.
    void shutDown();

    // Whether the program, ending, kept texts it had still to type in the history instead.
    bool keptTexts() const { return m_keptTexts > 0; }

    AppServices& services() { return m_services; }
    QuitGuard& quitGuard() { return m_quitGuard; }
    HistoryWindow* historyWindow() const { return m_history.get(); }
    SettingsWindow* settingsWindow() const { return m_settings; }

private:
    // Ends the event loop once the quit guard lets the program end.
    void quit();
    void showSettings();
    void relaunch();
    void showLoginSheet();
    QCoro::Task<void> refreshAccount();
    QCoro::Task<void> runBackgroundStartup(QCoro::Task<void> background);

    AppServices m_services;
    StoreSaving m_historySaving;
    StoreSaving m_lexiconSaving;
    QuitGuard m_quitGuard;
    SignInFlow m_signIn;
    ControllerStartup m_startup;
    DictationController m_controller;
    HistoryOperations m_historyOperations;
    PermissionsModel m_permissions;
    SettingsEditorKit m_editors;
    std::unique_ptr<HistoryWindow> m_history;
    QPointer<SettingsWindow> m_settings;
    QPointer<LoginView> m_login;
    int m_keptTexts = 0;
};
