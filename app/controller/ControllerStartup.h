#pragma once

#include "app/controller/HotkeyStatus.h"
#include "app/controller/Migrations.h"
#include "app/controller/Settings.h"

#include <QCoroTask>
#include <QFuture>
#include <QObject>

#include <memory>
#include <optional>

class AppState;
class BackgroundDucker;
class FeedbackBinding;
class GatewayAccount;
class HotkeyEngine;
class Lexicon;
class RecordingOverlay;
class SessionStore;
class Settings;
class Workspace;

// Brings the controller up over the application's parts, in a fixed order: the one-time
// migrations, the cues and skin, the hotkeys, the watches on the desktop; then, in the
// background, the idle status, the lexicon seed (on a worker), the keyring's secrets and session,
// the device registration and the lexicon sync. Main thread only; lives as long as the parts.
class ControllerStartup : public QObject
{
    Q_OBJECT

public:
    // What start-up brings up and watches (the settings come with the state).
    struct Parts
    {
        AppState& state;
        Settings& settings;
        HotkeyEngine& hotkeys;
        FeedbackBinding& feedback;
        std::shared_ptr<Lexicon> lexicon;
        BackgroundDucker& ducker;
        Workspace& workspace;
        RecordingOverlay& overlay;
        SessionStore& session;
        GatewayAccount& gateway;
    };

    // fnKey: the desktop's claim on the Fn key; the Linux stand-in never reports one.
    ControllerStartup(Parts parts, Migrations::FnKeySystem fnKey = linuxFnKey(), QObject* parent = nullptr);

    // The status line of a start whose settings cannot be saved: they run on defaults in memory.
    static QString settingsUnsavedLine();
    // The status line when a write to the settings file failed: the changes live in memory only.
    static QString settingsNotWrittenLine();

    static Migrations::FnKeySystem linuxFnKey();
    // The status line of a start whose settings file could not be used and was kept as keptAs.
    static QString settingsSetAsideLine(const QString& keptAs);

    // Does the synchronous part at once and returns the background part, which never fails; the
    // program may let it run on its own, tests await it. The same as prepare(), startHotkeys(),
    // then finish().
    QCoro::Task<void> start();

    // The part the main window's first frame shows: the migrated settings and the installed
    // bindings, the cues and skin. The settings are migrated in memory; the file is written once,
    // by finish().
    void prepare();
    // Connects to the display and grabs the keys: round trips to the X server that nothing on
    // screen waits for (the window shows no hotkey warning before it), and a turn of the event
    // loop of their own. Once, after prepare().
    void startHotkeys();
    // The rest, which nothing on screen waits for: writes the migrated settings, frees the Fn key,
    // repairs a volume left lowered, watches the desktop; returns the background part, which seeds
    // the lexicon on a worker first. Once, after startHotkeys().
    QCoro::Task<void> finish();

    HotkeyStatus& hotkeyStatus() { return m_hotkeyStatus; }

Q_SIGNALS:
    // The settings are migrated and the hotkeys not yet started: the moment to install the
    // bindings (synchronously, inside prepare()).
    void settingsMigrated();
    // Another window became the active one (the overlay has already followed it to its screen).
    void activeWindowChanged();

private:
    void watchDesktop();
    void tellUnsavedSettings(bool fileOpened);
    QCoro::Task<void> background(QCoro::Task<void> duckerRepair, QFuture<bool> lexiconSeeded, bool fileOpened);

    Parts m_parts;
    Migrations::FnKeySystem m_fnKey;
    HotkeyStatus m_hotkeyStatus;
    // The settings' writes from prepare() until finish(): the migrations and whatever else
    // changes meanwhile reach the file together.
    std::optional<Settings::Batch> m_heldWrites;
    Migrations::LexiconSteps m_lexiconSteps;
};
