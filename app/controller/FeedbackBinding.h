#pragma once

#include <QObject>

class AnswerPopup;
class Appearance;
class AppState;
class InputLearningMonitor;
class RecordingOverlay;
class Settings;
enum class SettingKey;
class SoundFX;

// Keeps the cue sounds, the skin and the learning monitor in step with the settings, and the skin's
// light or dark colours in step with the desktop: applied once at start, then again whenever the
// settings window or the desktop changes one of them. Cue-sound, skin and appearance changes
// advance the theme counter, even when the value stayed the same, so the pickers redraw.
// Main thread only.
class FeedbackBinding : public QObject
{
    Q_OBJECT

public:
    FeedbackBinding(AppState& state, Settings& settings, Appearance& appearance, SoundFX& sounds,
                    InputLearningMonitor& learning, RecordingOverlay& overlay, AnswerPopup& popup,
                    QObject* parent = nullptr);

    // Copies every bound setting into its instance.
    void applyAll();
    // Makes the stored skin, in the desktop's appearance, the current palette and redraws the
    // floating panels.
    void applySkin();

private:
    void onChanged(SettingKey key);

    AppState& m_state;
    Appearance& m_appearance;
    Settings& m_settings;
    SoundFX& m_sounds;
    InputLearningMonitor& m_learning;
    RecordingOverlay& m_overlay;
    AnswerPopup& m_popup;
};
