#include "app/settings/SoundVolumeSlider.h"

#include "app/controller/Settings.h"
#include "app/feedback/SoundFX.h"
#include "app/settings/SettingsBinding.h"
#include "app/ui/Theme.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

namespace {

// The slider counts in percent, so its steps are the 5% steps of the volume.
constexpr int kMinPercent = 10;
constexpr int kMaxPercent = 100;
constexpr int kStepPercent = 5;

} // namespace

SoundVolumeSlider::SoundVolumeSlider(Settings& settings, SoundFX& sounds, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_sounds(sounds)
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_value(new QLabel(this))
{
    m_slider->setObjectName(SettingsTable::row(SettingKey::soundVolume).name);
    m_slider->setRange(kMinPercent, kMaxPercent);
    m_slider->setSingleStep(kStepPercent);
    m_slider->setPageStep(kStepPercent * 2);

    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    m_value->setFont(mono);
    m_value->setFixedWidth(40);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(new QLabel(QStringLiteral("提示音音量"), this), 0, Qt::AlignVCenter);
    layout->addWidget(m_slider, 1, Qt::AlignVCenter);
    layout->addWidget(m_value, 0, Qt::AlignVCenter);

    connect(m_slider, &QSlider::valueChanged, this, [this](int percent) {
        // A drag can stop between steps; the stored volume stays on the 5% grid.
        const int snapped = int(std::lround(double(percent) / kStepPercent)) * kStepPercent;
        m_settings.setValue(SettingKey::soundVolume, snapped / 100.0);
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] { m_sounds.play(QStringLiteral("start")); });
    SettingsBinding::follow(settings, SettingKey::soundVolume, this, [this] { showStored(); });
    SettingsBinding::enableWhile(settings, SettingKey::soundFX, this);
    applyTheme();
}

QString SoundVolumeSlider::valueText() const
{
    return m_value->text();
}

void SoundVolumeSlider::showStored()
{
    const double volume = m_settings.value(SettingKey::soundVolume).toDouble();
    const int percent = int(std::lround(volume * 100));
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(percent);
    }
    m_value->setText(QString::number(percent) + QLatin1Char('%'));
}

void SoundVolumeSlider::applyTheme()
{
    QPalette colours = m_value->palette();
    colours.setColor(QPalette::WindowText, Theme::color(Theme::palette().textDim));
    m_value->setPalette(colours);
}
