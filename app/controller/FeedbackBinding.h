#pragma once

#include <QObject>
#include <QString>

class AnswerPopup;
class AppState;
class InputLearningMonitor;
class RecordingOverlay;
class Settings;
class SoundFX;

// Keeps the cue sounds, the skin and the learning monitor in step with the settings: applied
// once at start, then again whenever the settings window changes one of them. Cue-sound and skin
// changes advance the theme counter, even when the value stayed the same, so the pickers redraw.
// Main thread only.
class FeedbackBinding : public QObject
{
    Q_OBJECT

public:
    FeedbackBinding(AppState& state, SoundFX& sounds, InputLearningMonitor& learning, RecordingOverlay& overlay,
                    AnswerPopup& popup, QObject* parent = nullptr);

    // Copies every bound setting into its instance.
    void applyAll();
    // Makes the stored skin the current palette and redraws the floating panels.
    void applySkin();

private:
    void onChanged(const QString& key);

    AppState& m_state;
    Settings& m_settings;
    SoundFX& m_sounds;
    InputLearningMonitor& m_learning;
    RecordingOverlay& m_overlay;
    AnswerPopup& m_popup;
};
