#pragma once

#include "app/desktop/MurmoPermission.h"
#include "app/settings/SettingsForm.h"

#include <QMap>

class CaptionLabel;
class PermissionRow;
class PermissionsModel;
class Settings;
struct SettingsEditors;

// "通用": the two permissions with a relaunch offer, the hotkeys, the talk key's trigger and the
// recording options.
class GeneralTab : public SettingsForm
{
    Q_OBJECT

public:
    GeneralTab(Settings& settings, PermissionsModel& perms, const SettingsEditors& editors, QWidget* parent = nullptr);

    PermissionRow* permissionRow(MurmoPermission perm) const { return m_rows.value(perm); }
    // Shown while accessibility is not granted.
    QWidget* relaunchRow() const { return m_relaunchRow; }

    void applyTheme() override;

Q_SIGNALS:
    void requestGrant(MurmoPermission perm);
    // Accessibility switched on in the desktop's settings reaches only a new instance.
    void relaunchRequested();

private:
    void buildPermissions();
    void buildHotkeys(const SettingsEditors& editors);
    void buildTrigger();
    void buildRecording();
    void showPermissions();

    Settings& m_settings;
    PermissionsModel& m_perms;
    QMap<MurmoPermission, PermissionRow*> m_rows;
    QWidget* m_relaunchRow = nullptr;
    // What the hotkeys do, naming the keys set now.
    CaptionLabel* m_hotkeyCaption = nullptr;
};
