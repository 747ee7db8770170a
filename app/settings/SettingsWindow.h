#pragma once

#include "app/desktop/MurmoPermission.h"
#include "app/settings/AccountTab.h"
#include "app/settings/SettingsEditors.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <memory>

class AppState;
class AppearanceTab;
class Clock;
class DictateTab;
class GeneralTab;
class LexiconTab;
class PermissionProbes;
class PermissionsModel;
class QDialog;
class QTabWidget;
class SessionStore;
class Settings;
class SettingsForm;
class SignInFlow;
class SoundFX;

// The settings window, "Murmo · 设置": one tab per page, every control editing a setting of the
// controller at once. It keeps its own permission status, looked at once a second while the
// window is on screen, and presents the sign-in sheet of the account tab. Main thread only.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    struct Parts
    {
        Parts(AppState& state, Settings& settings, PermissionProbes& probes, Clock& clock, SoundFX& sounds)
            : state(state)
            , settings(settings)
            , probes(probes)
            , clock(clock)
            , sounds(sounds)
        {}

        AppState& state;
        Settings& settings;
        PermissionProbes& probes;
        Clock& clock;
        SoundFX& sounds;
        SettingsEditors editors;
        // Sign-in; the account tab exists only while signIn is configured.
        SessionStore* session = nullptr;
        SignInFlow* signIn = nullptr;
        QUrl gatewayURL;
    };

    static constexpr QSize minimumWindowSize{540, 480};
    static constexpr QSize initialWindowSize{560, 620};

    explicit SettingsWindow(Parts parts, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    QTabWidget* tabs() const { return m_tabs; }
    QStringList tabTitles() const;
    PermissionsModel& permissions() const { return *m_perms; }
    AccountTab* accountTab() const { return m_account; }
    GeneralTab* generalTab() const { return m_general; }
    DictateTab* dictateTab() const { return m_dictate; }
    AppearanceTab* appearanceTab() const { return m_appearance; }
    LexiconTab* lexiconTab() const { return m_lexicon; }
    // The sign-in sheet while it is presented.
    QDialog* signInSheet() const { return m_sheet; }

    // Rereads the skin and repaints every tab.
    void applyTheme();

Q_SIGNALS:
    void requestGrant(MurmoPermission perm);
    void relaunchRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addTab(SettingsForm* tab, const QString& title, const QString& symbol);
    void showSignIn();
    void closeSignIn();

    Parts m_parts;
    std::unique_ptr<PermissionsModel> m_perms;
    QTabWidget* m_tabs;
    QList<SettingsForm*> m_forms;
    QStringList m_symbols;
    AccountTab* m_account = nullptr;
    GeneralTab* m_general = nullptr;
    DictateTab* m_dictate = nullptr;
    AppearanceTab* m_appearance = nullptr;
    LexiconTab* m_lexicon = nullptr;
    QDialog* m_sheet = nullptr;
};
