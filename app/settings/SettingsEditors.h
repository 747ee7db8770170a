#pragma once

#include <functional>

struct HotkeyRole;
class QWidget;
class SettingsSection;

// The editors the tabs host (hotkey recorders, writing rules, per-application rules, the lexicon
// with its import, the style profile). Each is made by its own factory, so a tab only decides
// where an editor sits; a factory left empty leaves its place empty.
struct SettingsEditors
{
    using Factory = std::function<QWidget*(QWidget* parent)>;

    std::function<QWidget*(const HotkeyRole& role, QWidget* parent)> hotkeyRecorder;
    Factory appRules;
    Factory customPrefs;
    Factory lexicon;
    Factory lexiconImport;
    Factory styleProfile;
};

// Adds the factory's editor to section; nothing when the factory is empty.
void addEditor(SettingsSection& section, const SettingsEditors::Factory& factory);
