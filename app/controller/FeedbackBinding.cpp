#include "app/controller/FeedbackBinding.h"

#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/desktop/InputLearningMonitor.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/RecordingOverlay.h"
#include "app/feedback/SoundFX.h"
#include "app/ui/Theme.h"
#include "app/ui/ThemePalette.h"
#include "platform/Appearance.h"

FeedbackBinding::FeedbackBinding(AppState& state, Appearance& appearance, SoundFX& sounds,
                                 InputLearningMonitor& learning, RecordingOverlay& overlay, AnswerPopup& popup,
                                 QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_appearance(appearance)
    , m_settings(state.settings())
    , m_sounds(sounds)
    , m_learning(learning)
    , m_overlay(overlay)
    , m_popup(popup)
{
    connect(&m_settings, &Settings::changed, this, &FeedbackBinding::onChanged);
    connect(&m_appearance, &Appearance::darkChanged, this, &FeedbackBinding::applySkin);
}

void FeedbackBinding::applyAll()
{
    m_sounds.setEnabled(m_settings.soundFX());
    Theme::setPalette(ThemePalette::byId(m_settings.skinId()));
    Theme::setDark(m_appearance.isDark());
    m_sounds.setCurrentSet(m_settings.soundSet());
    m_sounds.setVolume(float(m_settings.soundVolume()));
    m_learning.setEnabled(m_settings.autoLearnFromEdits());
}

void FeedbackBinding::applySkin()
{
    Theme::setPalette(ThemePalette::byId(m_settings.skinId()));
    Theme::setDark(m_appearance.isDark());
    m_state.bumpThemeVersion();
    m_overlay.refreshTheme();
    m_popup.refreshTheme();
}

void FeedbackBinding::onChanged(const QString& key)
{
    if (key == QLatin1String("soundFX")) {
        m_sounds.setEnabled(m_settings.soundFX());
        m_state.bumpThemeVersion();
    } else if (key == QLatin1String("soundVolume")) {
        m_sounds.setVolume(float(m_settings.soundVolume()));
        m_state.bumpThemeVersion();
    } else if (key == QLatin1String("soundSet")) {
        m_sounds.setCurrentSet(m_settings.soundSet());
        m_state.bumpThemeVersion();
    } else if (key == QLatin1String("skinId")) {
        applySkin();
    } else if (key == QLatin1String("autoLearnFromEdits")) {
        m_learning.setEnabled(m_settings.autoLearnFromEdits());
    }
}
