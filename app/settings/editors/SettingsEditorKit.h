#pragma once

#include "app/controller/PersonalData.h"
#include "app/settings/SettingsEditors.h"
#include "app/settings/editors/StyleProfileView.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AppState;
class CustomWritingRules;
class HotkeyCaptureSession;
class HotkeyEngine;
class ProcessLauncher;
class QWidget;
class RecentForeignApplication;
class Settings;
class Workspace;

// Makes the settings window's editors over the application's parts, and owns what they share:
// the one hotkey capture of the window and the memory of the last other application in front.
// The window's tabs decide where each editor sits. Main thread only.
class SettingsEditorKit : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        AppState& state;
        Settings& settings;
        HotkeyEngine& hotkeys;
        // Where the application rules find the last other application in front.
        Workspace& workspace;
        // Opens the desktop's keyboard settings.
        ProcessLauncher& launcher;
        CustomWritingRules& customRules;
        PersonalData data;
    };

    struct Controller
    {
        // The controller's style-profile distillation.
        StyleProfileView::Refresh refreshStyleProfile;
    };

    SettingsEditorKit(Parts parts, Controller controller, QObject* parent = nullptr);
    ~SettingsEditorKit() override;

    // Another window became the active one; the composition root forwards the workspace's news.
    void activeWindowChanged();

    // The factories the settings window's tabs place; they use this kit, which must outlive them.
    SettingsEditors editors();

    QWidget* hotkeyRecorder(const HotkeyRole& role, QWidget* parent);
    QWidget* customPrefs(QWidget* parent);
    QWidget* appRules(QWidget* parent);
    QWidget* styleProfile(QWidget* parent);
    QWidget* lexicon(QWidget* parent);
    QWidget* lexiconImport(QWidget* parent);

private:
    Parts m_parts;
    Controller m_controller;
    std::unique_ptr<HotkeyCaptureSession> m_capture;
    std::unique_ptr<RecentForeignApplication> m_recent;
};
