#pragma once

#include "app/settings/SettingsEditors.h"
#include "app/settings/editors/StyleProfileView.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AppServices;
class HotkeyCaptureSession;
class QWidget;
class RecentForeignApplication;

// Makes the settings window's editors over the application's parts, and owns what they share:
// the one hotkey capture of the window and the memory of the last other application in front.
// The window's tabs decide where each editor sits. Main thread only.
class SettingsEditorKit : public QObject
{
    Q_OBJECT

public:
    struct Controller
    {
        // Stores no hotkey for the id and tells the engine (the controller's hotkey update).
        std::function<void(const QString& id)> clearHotkey;
        // The controller's style-profile distillation.
        StyleProfileView::Refresh refreshStyleProfile;
    };

    SettingsEditorKit(AppServices& app, Controller controller, QObject* parent = nullptr);
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
    AppServices& m_app;
    Controller m_controller;
    std::unique_ptr<HotkeyCaptureSession> m_capture;
    std::unique_ptr<RecentForeignApplication> m_recent;
};
