#include "app/settings/SettingsBinding.h"

#include "app/controller/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QSignalBlocker>

namespace SettingsBinding {

void follow(Settings& settings, SettingKey key, QObject* context, std::function<void()> apply)
{
    apply();
    QObject::connect(&settings, &Settings::changed, context, [key, apply](SettingKey changed) {
        if (changed == key)
            apply();
    });
}

QCheckBox* toggle(Settings& settings, SettingKey key, const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(SettingsTable::row(key).name);
    follow(settings, key, box, [&settings, key, box] {
        const QSignalBlocker quiet(box);
        box->setChecked(settings.flag(key));
    });
    QObject::connect(box, &QCheckBox::toggled, box, [&settings, key](bool on) { settings.setValue(key, on); });
    return box;
}

namespace {

// The index whose value equals the stored one, compared as the option's type (the settings file
// gives numbers back as text); -1 when none does.
int indexOf(const QComboBox* combo, const QVariant& stored)
{
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant option = combo->itemData(i);
        QVariant converted = stored;
        if (converted.convert(option.metaType()) && converted == option)
            return i;
    }
    return -1;
}

} // namespace

QComboBox* choice(Settings& settings, SettingKey key, const QList<Option>& options, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(SettingsTable::row(key).name);
    for (const Option& option : options)
        combo->addItem(option.first, option.second);
    follow(settings, key, combo, [&settings, key, combo] {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(indexOf(combo, settings.value(key)));
    });
    QObject::connect(combo, &QComboBox::activated, combo,
                     [&settings, key, combo](int index) { settings.setValue(key, combo->itemData(index)); });
    return combo;
}

void enableWhile(Settings& settings, SettingKey key, QWidget* widget)
{
    auto* dim = new QGraphicsOpacityEffect(widget);
    widget->setGraphicsEffect(dim);
    follow(settings, key, widget, [&settings, key, widget, dim] {
        const bool on = settings.flag(key);
        widget->setEnabled(on);
        dim->setOpacity(on ? 1.0 : 0.4);
    });
}

} // namespace SettingsBinding
