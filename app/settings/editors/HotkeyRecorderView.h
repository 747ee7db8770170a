#pragma once

#include "app/controller/HotkeyRole.h"
#include "platform/Hotkey.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class HotkeyCaptureSession;
class QLabel;
class QPushButton;
class Settings;
class SymbolButton;

// One row of the hotkey section: the stored hotkey of one role on a button that captures a new
// one, a button that clears it, and a note when the combination meets a desktop shortcut. The row
// writes the setting, the one place the hotkey is kept; the hotkey engine follows the settings.
// Main thread only.
class HotkeyRecorderView : public QWidget
{
    Q_OBJECT

public:
    // role is one of HotkeyRole::all(), which outlive every view.
    HotkeyRecorderView(Settings& settings, HotkeyCaptureSession& capture, const HotkeyRole& role,
                       QWidget* parent = nullptr);
    ~HotkeyRecorderView() override;

    QString id() const { return m_role.id; }
    bool isRecording() const { return m_recording; }
    std::optional<Hotkey> current() const;

Q_SIGNALS:
    void keyboardSettingsRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void toggleCapture();
    void endRecording();
    void refresh();
    // Another of the program's hotkeys stored with the same combination; null when none.
    const HotkeyRole* sharingRole(const std::optional<Hotkey>& hotkey) const;

    Settings& m_settings;
    QPointer<HotkeyCaptureSession> m_capture;
    const HotkeyRole& m_role;
    bool m_recording = false;
    QPushButton* m_button;
    SymbolButton* m_clear;
    QWidget* m_noteRow;
    QLabel* m_note;
    QPushButton* m_noteLink;
};
