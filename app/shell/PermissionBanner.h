#pragma once

#include "app/desktop/MurmoPermission.h"

#include <QWidget>

class PermissionProbes;
class PermissionsModel;
class ProcessLauncher;
class ShellBanner;

// The warning strips at the top of the main window for a missing microphone or accessibility,
// each with a button that asks for it as the first-run sheet does (the accessibility bus switched
// on, the desktop's settings opened; where there are none, the strip says what to turn on). It looks again at once when
// shown and then follows the model, which hears of the desktop's changes without asking again; until the first look
// nothing is drawn, so a granted state never flashes a warning at start-up.
class PermissionBanner : public QWidget
{
    Q_OBJECT

public:
    PermissionBanner(PermissionsModel& permissions, PermissionProbes& probes, ProcessLauncher& launcher,
                     QWidget* parent = nullptr);
    ~PermissionBanner() override;

    bool micGranted() const { return m_micGranted; }
    bool axTrusted() const { return m_axTrusted; }
    ShellBanner* strip(MurmoPermission permission) const;

    void applyTheme();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void request(MurmoPermission permission);
    void refresh();
    void showFlags();

    PermissionsModel& m_permissions;
    PermissionProbes& m_probes;
    ProcessLauncher& m_launcher;
    bool m_micGranted = true;
    bool m_axTrusted = true;
    // Nothing is shown before the first look.
    bool m_checked = false;
    ShellBanner* m_mic;
    ShellBanner* m_accessibility;
};
