#pragma once

#include "app/controller/SettingsTable.h"
#include "app/desktop/HotkeyUse.h"

#include <QList>
#include <QString>

class Settings;

// A hotkey the user sets: what it is for, the name the settings window knows its row by, the
// setting that stores it and its title in the settings window.
struct HotkeyRole
{
    HotkeyUse use;
    QString id;
    SettingKey setting;
    QString label;

    // Every role, in the order the settings window shows them.
    static const QList<HotkeyRole>& all();
    // The role of id, or of the setting; null for any other.
    static const HotkeyRole* byId(const QString& id);
    static const HotkeyRole* bySetting(SettingKey setting);
    // Every hotkey the settings hold.
    static HotkeySet fromSettings(const Settings& settings);
};
