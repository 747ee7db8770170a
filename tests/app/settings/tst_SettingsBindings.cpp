#include "app/controller/SettingsTable.h"
#include "app/settings/SoundVolumeSlider.h"
#include "app/ui/CapsuleButton.h"
#include "app/ui/ModeCapsulePicker.h"
#include "core/text/StyleMode.h"
#include "tests/app/settings/SettingsFixture.h"
#include "tests/support/TestRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

namespace {

// Changes the control the way a user does: a click, a chosen option, a capsule, a slider move.
void userSets(QWidget* control, const QVariant& value)
{
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        if (box->isChecked() != value.toBool())
            box->click();
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        const int index = combo->findData(value);
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    } else if (auto* picker = qobject_cast<ModeCapsulePicker*>(control)) {
        for (int i = 0; i < StyleMode::builtins().size(); ++i) {
            if (StyleMode::builtins()[i].id == value.toString())
                picker->capsules()[i]->click();
        }
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        slider->setValue(qRound(value.toDouble() * 100));
    }
}

// What the control shows, as the type of the setting.
QVariant shown(QWidget* control)
{
    if (auto* box = qobject_cast<QCheckBox*>(control))
        return box->isChecked();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->currentData();
    if (auto* picker = qobject_cast<ModeCapsulePicker*>(control)) {
        for (int i = 0; i < picker->capsules().size(); ++i) {
            if (picker->capsules()[i]->isChosen())
                return StyleMode::builtins()[i].id;
        }
        return QVariant();
    }
    if (auto* slider = qobject_cast<QSlider*>(control))
        return slider->value() / 100.0;
    return QVariant();
}

bool same(QVariant stored, const QVariant& expected)
{
    return stored.convert(expected.metaType()) && stored == expected;
}

int writesOf(const QSignalSpy& spy, SettingKey key)
{
    int count = 0;
    for (const QList<QVariant>& call : spy)
        count += call.at(0).value<SettingKey>() == key;
    return count;
}

} // namespace

class TestSettingsBindings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlStoresAtOnceAndFollowsOutsideChanges_data()
    {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QVariant>("user");
        QTest::addColumn<QVariant>("outside");
        using enum SettingKey;
        for (SettingKey key :
             {showPartial, quietBoost, duckOthers, prefNoTrailingPeriod, prefLineBreaks, prefSpacesForCommas,
              contextAwareness, contextReadText, autoCompose, autoLearnFromEdits, soundFX}) {
            const SettingRow& row = SettingsTable::row(key);
            const bool byDefault = row.defaultValue.toBool();
            QTest::newRow(qPrintable(row.name)) << key << QVariant(!byDefault) << QVariant(byDefault);
        }
        QTest::newRow("recordTrigger") << recordTrigger << QVariant("hold") << QVariant("toggle");
        QTest::newRow("maxRecordMinutes") << maxRecordMinutes << QVariant(15) << QVariant(5);
        QTest::newRow("currentModeId") << currentModeId << QVariant("casual") << QVariant("raw");
        QTest::newRow("soundVolume") << soundVolume << QVariant(0.55) << QVariant(0.3);
    }
    void controlStoresAtOnceAndFollowsOutsideChanges()
    {
        QFETCH(SettingKey, key);
        QFETCH(QVariant, user);
        QFETCH(QVariant, outside);
        SettingsFixture f;
        SettingsWindow& window = f.open();
        auto* control = window.findChild<QWidget*>(SettingsTable::row(key).name);
        QVERIFY(control);
        QVERIFY(same(shown(control), f.settings().value(key)));

        QSignalSpy writes(&f.settings(), &Settings::changed);
        userSets(control, user);
        QVERIFY2(same(f.settings().value(key), user), qPrintable(f.settings().value(key).toString()));
        QCOMPARE(writesOf(writes, key), 1);

        f.settings().setValue(key, outside);
        QVERIFY2(same(shown(control), outside), qPrintable(shown(control).toString()));
        // Following the change stored nothing back.
        QCOMPARE(writesOf(writes, key), 2);
    }

    void choiceShowsNothingForAnUnknownValueAndKeepsIt_data()
    {
        QTest::addColumn<SettingKey>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("index");
        const SettingKey minutes = SettingKey::maxRecordMinutes;
        const SettingKey trigger = SettingKey::recordTrigger;
        QTest::newRow("minutes unknown") << minutes << QVariant(12) << -1;
        QTest::newRow("minutes as text") << minutes << QVariant("15") << 2;
        // Read as the default, 8 minutes.
        QTest::newRow("minutes not a number") << minutes << QVariant("eight") << 1;
        QTest::newRow("trigger unknown") << trigger << QVariant("double") << -1;
        QTest::newRow("trigger hold") << trigger << QVariant("hold") << 1;
    }
    void choiceShowsNothingForAnUnknownValueAndKeepsIt()
    {
        QFETCH(SettingKey, key);
        QFETCH(QVariant, stored);
        QFETCH(int, index);
        SettingsFixture f;
        f.settings().setValue(key, stored);
        QSignalSpy writes(&f.settings(), &Settings::changed);
        SettingsWindow& window = f.open();
        auto* combo = window.findChild<QComboBox*>(SettingsTable::row(key).name);
        QVERIFY(combo);
        QCOMPARE(combo->currentIndex(), index);
        QCOMPARE(writesOf(writes, key), 0);
    }

    void volumeShowsPercentOnTheFiveStepGrid_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("text");
        QTest::newRow("lowest") << 10 << 0.1 << "10%";
        QTest::newRow("55") << 55 << 0.55 << "55%";
        QTest::newRow("between steps") << 57 << 0.55 << "55%";
        QTest::newRow("rounds up") << 58 << 0.6 << "60%";
        QTest::newRow("highest") << 100 << 1.0 << "100%";
    }
    void volumeShowsPercentOnTheFiveStepGrid()
    {
        QFETCH(int, position);
        QFETCH(double, stored);
        QFETCH(QString, text);
        SettingsFixture f;
        SettingsWindow& window = f.open();
        SoundVolumeSlider* volume = window.findChild<SoundVolumeSlider*>();
        volume->slider()->setValue(position);
        QCOMPARE(f.settings().value(SettingKey::soundVolume).toDouble(), stored);
        QCOMPARE(volume->valueText(), text);
    }
};

MURMO_TEST(TestSettingsBindings)
#include "tst_SettingsBindings.moc"
