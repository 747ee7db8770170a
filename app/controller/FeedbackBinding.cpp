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

FeedbackBinding::FeedbackBinding(AppState& state, Settings& settings, Appearance& appearance, SoundFX& sounds,
                                 InputLearningMonitor& learning, RecordingOverlay& overlay, AnswerPopup& popup,
                                 QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_appearance(appearance)
    , m_settings(settings)
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
    m_sounds.setEnabled(m_settings.flag(SettingKey::soundFX));
    Theme::setPalette(ThemePalette::byId(m_settings.text(SettingKey::skinId)));
    Theme::setDark(m_appearance.isDark());
    m_sounds.setCurrentSet(m_settings.text(SettingKey::soundSet));
    m_sounds.setVolume(float(m_settings.value(SettingKey::soundVolume).toDouble()));
    m_learning.setEnabled(m_settings.flag(SettingKey::autoLearnFromEdits));
}

void FeedbackBinding::applySkin()
{
    Theme::setPalette(ThemePalette::byId(m_settings.text(SettingKey::skinId)));
    Theme::setDark(m_appearance.isDark());
    m_state.bumpThemeVersion();
    m_overlay.refreshTheme();
    m_popup.refreshTheme();
}

void FeedbackBinding::onChanged(SettingKey key)
{
    if (key == SettingKey::soundFX) {
        m_sounds.setEnabled(m_settings.flag(SettingKey::soundFX));
        m_state.bumpThemeVersion();
    } else if (key == SettingKey::soundVolume) {
        m_sounds.setVolume(float(m_settings.value(SettingKey::soundVolume).toDouble()));
        m_state.bumpThemeVersion();
    } else if (key == SettingKey::soundSet) {
        m_sounds.setCurrentSet(m_settings.text(SettingKey::soundSet));
        m_state.bumpThemeVersion();
    } else if (key == SettingKey::skinId) {
        applySkin();
    } else if (key == SettingKey::autoLearnFromEdits) {
        m_learning.setEnabled(m_settings.flag(SettingKey::autoLearnFromEdits));
    }
}
