#include "app/controller/AppState.h"
#include "app/settings/AppearanceTab.h"
#include "app/settings/DictateTab.h"
#include "app/settings/SkinPicker.h"
#include "app/settings/SoundSetPicker.h"
#include "app/settings/SoundVolumeSlider.h"
#include "app/ui/CapsuleButton.h"
#include "app/ui/ModeCapsulePicker.h"
#include "app/ui/Theme.h"
#include "tests/app/settings/SettingsFixture.h"
#include "tests/support/TestRegistry.h"

#include <QGraphicsOpacityEffect>
#include <QSlider>
#include <QTest>

using namespace std::chrono_literals;

namespace {

int playsOf(const FakeSoundOutput& output)
{
    int plays = 0;
    for (const auto& record : output.made()) {
        for (const QString& event : record->events)
            plays += event.startsWith(QLatin1String("play"));
    }
    return plays;
}

qreal opacityOf(QWidget* widget)
{
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

} // namespace

class TestSettingsPickers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void defaultModeChangeIsReported_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("status");
        const QString untouched = AppState::kInitialStatusLine;
        QTest::newRow("capsule") << "capsule"
                                 << "casual"
                                 << "听写"
                                 << "已切换默认模式：聊天随意";
        QTest::newRow("cycle hotkey") << "outside"
                                      << "raw"
                                      << "听写"
                                      << "已切换默认模式：原样直出";
        QTest::newRow("unknown id") << "outside"
                                    << "custom-1"
                                    << "听写"
                                    << "已切换默认模式：custom-1";
        QTest::newRow("same mode again") << "capsule"
                                         << "formal"
                                         << "听写" << untouched;
        QTest::newRow("tab not shown") << "outside"
                                       << "raw"
                                       << "通用" << untouched;
        QTest::newRow("only opened") << "none"
                                     << "formal"
                                     << "听写" << untouched;
    }
    void defaultModeChangeIsReported()
    {
        QFETCH(QString, how);
        QFETCH(QString, mode);
        QFETCH(QString, tab);
        QFETCH(QString, status);
        SettingsFixture f;
        SettingsWindow& window = f.open();
        f.showTab(tab);
        if (how == "capsule") {
            for (int i = 0; i < StyleMode::builtins().size(); ++i) {
                if (StyleMode::builtins()[i].id == mode)
                    window.dictateTab()->modePicker()->capsules()[i]->click();
            }
        } else if (how == "outside") {
            f.settings().setValue(SettingKey::currentModeId, mode);
        }
        QCOMPARE(f.settings().text(SettingKey::currentModeId), mode);
        QCOMPARE(f.state().statusLine(), status);
    }

    void chosenCapsuleIsFilledWithTheAccent_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<int>("chosen");
        QTest::newRow("formal") << "formal" << 2;
        QTest::newRow("raw") << "raw" << 0;
        QTest::newRow("not built in") << "poetry" << -1;
    }
    void chosenCapsuleIsFilledWithTheAccent()
    {
        QFETCH(QString, selection);
        QFETCH(int, chosen);
        for (const ThemePalette& skin : ThemePalette::all()) {
            Theme::setPalette(skin);
            ModeCapsulePicker picker;
            picker.setSelection(selection);
            for (int i = 0; i < picker.capsules().size(); ++i) {
                CapsuleButton* capsule = picker.capsules()[i];
                QCOMPARE(capsule->isChosen(), i == chosen);
                QCOMPARE(capsule->fillColor(),
                         i == chosen ? Theme::color(skin.accent) : Theme::color(skin.text, 0.06, 0.06));
                QCOMPARE(capsule->textColor(), Theme::color(i == chosen ? skin.onAccent : skin.textDim));
            }
        }
    }

    void choosingASoundSetStoresAndPreviewsIt()
    {
        SettingsFixture f;
        SettingsWindow& window = f.open();
        f.showTab("外观");
        SoundSetPicker* picker = window.appearanceTab()->soundSetPicker();
        picker->capsules()[1]->click();
        QCOMPARE(f.settings().text(SettingKey::soundSet), QStringLiteral("droplet"));
        QCOMPARE(f.fake.app->sounds().currentSet(), QStringLiteral("droplet"));
        QVERIFY(picker->capsules()[1]->isChosen());
        QCOMPARE(playsOf(f.fake.soundOutput), 1);
        f.fake.clock.advance(350ms);
        QCOMPARE(playsOf(f.fake.soundOutput), 2);
        f.fake.clock.advance(5s);
        QCOMPARE(playsOf(f.fake.soundOutput), 2);

        // The chosen set again is previewed again.
        picker->capsules()[1]->click();
        f.fake.clock.advance(350ms);
        QCOMPARE(playsOf(f.fake.soundOutput), 4);
    }

    void soundControlsRestWhileCuesAreOff()
    {
        SettingsFixture f;
        SettingsWindow& window = f.open();
        f.showTab("外观");
        SoundSetPicker* sets = window.appearanceTab()->soundSetPicker();
        SoundVolumeSlider* volume = window.appearanceTab()->volumeSlider();
        QCOMPARE(opacityOf(sets), 1.0);

        f.settings().setValue(SettingKey::soundFX, false);
        QVERIFY(!f.fake.app->sounds().enabled());
        for (QWidget* control : {static_cast<QWidget*>(sets), static_cast<QWidget*>(volume)}) {
            QVERIFY(!control->isEnabled());
            QCOMPARE(opacityOf(control), 0.4);
        }
        sets->capsules()[2]->click();
        QCOMPARE(f.settings().text(SettingKey::soundSet), QStringLiteral("cork"));
        Q_EMIT volume->slider()->sliderReleased();
        QCOMPARE(playsOf(f.fake.soundOutput), 0);

        f.settings().setValue(SettingKey::soundFX, true);
        QVERIFY(volume->isEnabled());
        QCOMPARE(opacityOf(volume), 1.0);
        // Letting go of the slider plays the start cue once; moving it plays nothing.
        volume->slider()->setValue(80);
        QCOMPARE(playsOf(f.fake.soundOutput), 0);
        Q_EMIT volume->slider()->sliderReleased();
        f.fake.clock.advance(1s);
        QCOMPARE(playsOf(f.fake.soundOutput), 1);
    }

    void skinChangeRecoloursTheOpenWindow_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void skinChangeRecoloursTheOpenWindow()
    {
        QFETCH(bool, dark);
        SettingsFixture f;
        f.fake.appearance.setDark(dark);
        f.fake.app->feedback().applyAll();
        SettingsWindow& window = f.open();
        f.showTab("外观");
        AppearanceTab* tab = window.appearanceTab();
        const QList<CaptionLabel*> captions = tab->findChildren<CaptionLabel*>();
        QCOMPARE(captions.size(), 2);

        const int version = f.state().themeVersion();
        SkinSwatch* celadon = tab->skinPicker()->swatches()[2];
        celadon->click();
        QCOMPARE(f.settings().text(SettingKey::skinId), QStringLiteral("celadon"));
        QCOMPARE(Theme::palette().id, QStringLiteral("celadon"));
        QVERIFY(f.state().themeVersion() > version);
        const ThemePalette& skin = ThemePalette::celadon();
        for (CaptionLabel* caption : captions)
            QCOMPARE(caption->color(), skin.textFaint.color(dark));
        QCOMPARE(window.palette().color(QPalette::Window), skin.bg.color(dark));
        QCOMPARE(celadon->borderColor(), skin.accent.color(dark));
        QCOMPARE(celadon->borderWidth(), 2.0);
        QCOMPARE(celadon->nameColor(), skin.accent.color(dark));
        SkinSwatch* xuan = tab->skinPicker()->swatches()[1];
        QVERIFY(!xuan->isChosen());
        QCOMPARE(xuan->borderColor(), skin.hairline.color(dark));
        QCOMPARE(xuan->borderWidth(), 0.5);

        // The chosen skin again is applied again.
        const int applied = f.state().themeVersion();
        celadon->click();
        QVERIFY(f.state().themeVersion() > applied);
    }
};

MURMO_TEST(TestSettingsPickers)
#include "tst_SettingsPickers.moc"
