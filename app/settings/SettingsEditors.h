#pragma once

#include <QList>
#include <QString>

#include <functional>

class QWidget;
class SettingsSection;

// The editors the tabs host (hotkey recorders, writing rules, per-application rules, the lexicon
// with its import, the style profile). Each is made by its own factory, so a tab only decides
// where an editor sits; a factory left empty leaves its place empty.
struct SettingsEditors
{
    // One hotkey row of the general tab.
    struct HotkeyRow
    {
        QString id;
        QString label;
        // A chord key, pressed while the talk key is held.
        bool secondary = false;
    };

    using Factory = std::function<QWidget*(QWidget* parent)>;

    std::function<QWidget*(const HotkeyRow& row, QWidget* parent)> hotkeyRecorder;
    Factory appRules;
    Factory customPrefs;
    Factory lexicon;
    Factory lexiconImport;
    Factory styleProfile;

    // The general tab's rows, in the order shown.
    static const QList<HotkeyRow>& hotkeyRows();
};

// Adds the factory's editor to section; nothing when the factory is empty.
void addEditor(SettingsSection& section, const SettingsEditors::Factory& factory);
