#include "app/settings/AppearanceTab.h"

#include "app/settings/SettingsBinding.h"
#include "app/settings/SkinPicker.h"
#include "app/settings/SoundSetPicker.h"
#include "app/settings/SoundVolumeSlider.h"

#include <QCheckBox>

AppearanceTab::AppearanceTab(Settings& settings, SoundFX& sounds, QWidget* parent)
    : SettingsForm(parent)
{
    SettingsSection* skin = addSection(QStringLiteral("皮肤"));
    m_skins = new SkinPicker(settings, skin->card());
    skin->addRow(m_skins);
    skin->addCaption(QStringLiteral("点击即换装，自动适配系统深浅色。"), CaptionLabel::Tone::Faint);

    SettingsSection* sound = addSection(QStringLiteral("提示音"));
    QWidget* card = sound->card();
    sound->addRow(SettingsBinding::toggle(settings, SettingKey::soundFX, QStringLiteral("开始/结束提示音"), card));
    m_soundSets = new SoundSetPicker(settings, sounds, card);
    sound->addRow(m_soundSets);
    m_volume = new SoundVolumeSlider(settings, sounds, card);
    sound->addRow(m_volume);
    sound->addCaption(QStringLiteral("点选音色即试听，录音时就是这个声音。"), CaptionLabel::Tone::Faint);
}

void AppearanceTab::applyTheme()
{
    SettingsForm::applyTheme();
    m_volume->applyTheme();
}
