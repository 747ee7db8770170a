#pragma once

#include <QWidget>

class QLabel;
class QSlider;
class Settings;
class SoundFX;

// The cue-sound volume from 10% to 100% in steps of 5. The value is stored while dragging; the
// start cue plays once when the user lets go, so the new level can be heard without a recording.
// Dimmed and inert while cue sounds are off.
class SoundVolumeSlider : public QWidget
{
    Q_OBJECT

public:
    SoundVolumeSlider(Settings& settings, SoundFX& sounds, QWidget* parent = nullptr);

    QSlider* slider() const { return m_slider; }
    QString valueText() const;
    void applyTheme();

private:
    void showStored();

    Settings& m_settings;
    SoundFX& m_sounds;
    QSlider* m_slider;
    QLabel* m_value;
};
