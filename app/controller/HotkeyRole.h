#pragma once

#include "app/controller/SettingsTable.h"

#include <QList>
#include <QString>

// A hotkey the user sets: the id the hotkey engine and the settings window know it by, the
// setting that stores it, its title in the settings window, and whether it is a chord key, pressed
// while the talk key is held (such a key may be a bare key: it acts only in the first second of a
// dictation).
struct HotkeyRole
{
    QString id;
    SettingKey setting;
    QString label;
    bool secondary = false;

    // Every role, in the order the settings window shows them.
    static const QList<HotkeyRole>& all();
    // The role of id; null for any other id.
    static const HotkeyRole* byId(const QString& id);
};
