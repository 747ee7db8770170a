#pragma once

#include "app/settings/SettingsForm.h"

class Settings;
class SkinPicker;
class SoundFX;
class SoundSetPicker;
class SoundVolumeSlider;

// "外观": the skin, and the cue sounds with their set and volume.
class AppearanceTab : public SettingsForm
{
    Q_OBJECT

public:
    AppearanceTab(Settings& settings, SoundFX& sounds, QWidget* parent = nullptr);

    SkinPicker* skinPicker() const { return m_skins; }
    SoundSetPicker* soundSetPicker() const { return m_soundSets; }
    SoundVolumeSlider* volumeSlider() const { return m_volume; }

    void applyTheme() override;

private:
    SkinPicker* m_skins;
    SoundSetPicker* m_soundSets;
    SoundVolumeSlider* m_volume;
};
