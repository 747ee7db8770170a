#include "app/settings/SoundSetPicker.h"

#include "app/controller/Settings.h"
#include "app/feedback/SoundFX.h"
#include "app/settings/SettingsBinding.h"
#include "app/ui/CapsuleButton.h"

#include <QHBoxLayout>

const QList<std::pair<QString, QString>>& SoundSetPicker::sets()
{
    static const QList<std::pair<QString, QString>> all = {
        {QStringLiteral("cork"), QStringLiteral("软木")},
        {QStringLiteral("droplet"), QStringLiteral("露滴")},
        {QStringLiteral("tick"), QStringLiteral("秒针")},
        {QStringLiteral("marimba"), QStringLiteral("木琴")},
    };
    return all;
}

SoundSetPicker::SoundSetPicker(Settings& settings, SoundFX& sounds, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_sounds(sounds)
{
    setObjectName(SettingsTable::row(SettingKey::soundSet).name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (const auto& [id, name] : sets()) {
        auto* capsule = new CapsuleButton(name, CapsuleButton::Look::Soft, this);
        connect(capsule, &CapsuleButton::clicked, this, [this, id = id] { pick(id); });
        layout->addWidget(capsule, 0, Qt::AlignVCenter);
        m_capsules.append(capsule);
    }
    layout->addStretch(1);
    SettingsBinding::follow(settings, SettingKey::soundSet, this, [this] { showChosen(); });
    SettingsBinding::enableWhile(settings, SettingKey::soundFX, this);
}

void SoundSetPicker::pick(const QString& id)
{
    // Stored before it plays, so the set heard is the set a restart will use; the controller
    // hands the stored set to the cue player.
    m_settings.setValue(SettingKey::soundSet, id);
    m_sounds.preview(id);
}

void SoundSetPicker::showChosen()
{
    const QString chosen = m_settings.text(SettingKey::soundSet);
    for (int i = 0; i < m_capsules.size(); ++i)
        m_capsules[i]->setChosen(sets()[i].first == chosen);
}
