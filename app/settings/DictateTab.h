#pragma once

#include "app/settings/SettingsForm.h"

class AppState;
class ModeCapsulePicker;
class Settings;
struct SettingsEditors;

// "听写": the default style mode, per-application modes, punctuation and layout with the custom
// writing rules, screen context, layout for the target application and learning from edits.
class DictateTab : public SettingsForm
{
    Q_OBJECT

public:
    DictateTab(AppState& state, Settings& settings, const SettingsEditors& editors, QWidget* parent = nullptr);

    ModeCapsulePicker* modePicker() const { return m_modePicker; }

    // "已切换默认模式：" and the mode's name, or the id itself when no built-in mode has it.
    static QString modeChangedLine(const QString& modeId);

private:
    void buildDefaultMode();
    void onModeChanged();

    AppState& m_state;
    Settings& m_settings;
    ModeCapsulePicker* m_modePicker = nullptr;
    QString m_shownMode;
};
