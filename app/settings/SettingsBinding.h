#pragma once

#include "app/controller/SettingsTable.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <utility>

class QCheckBox;
class QComboBox;
class QObject;
class QWidget;
class Settings;

// Controls that edit one setting each. A user's change is stored at once (there is no save step)
// and a change made anywhere else (the main window, a hotkey) moves the control without storing
// the value back. Every control is named after its setting in the file, so the window's parts can be
// found by it.
// Main thread only.
namespace SettingsBinding {

// Runs apply now and after every change of key, for as long as context lives.
void follow(Settings& settings, SettingKey key, QObject* context, std::function<void()> apply);

QCheckBox* toggle(Settings& settings, SettingKey key, const QString& text, QWidget* parent);

// One option of a choice: its text and the value it stores.
using Option = std::pair<QString, QVariant>;

// A stored value that matches no option selects nothing, and stays stored until the user picks
// an option.
QComboBox* choice(Settings& settings, SettingKey key, const QList<Option>& options, QWidget* parent);

// Enables widget while key's flag is on; while it is off the widget is disabled and drawn at 0.4
// opacity.
void enableWhile(Settings& settings, SettingKey key, QWidget* widget);

} // namespace SettingsBinding
