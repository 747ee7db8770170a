#include "app/settings/SettingsForm.h"
#include "app/ui/Theme.h"
#include "tests/app/settings/SettingsFixture.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QImage>
#include <QScrollBar>
#include <QTest>

namespace {

QString outputDir()
{
    const QString root = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + "/murmo-test-output");
    const QString dir = root + "/settings";
    QDir().mkpath(dir);
    return dir;
}

// The form's whole height, so nothing below the fold goes unseen.
QImage renderTab(SettingsWindow& window, int index)
{
    window.tabs()->setCurrentIndex(index);
    auto* form = qobject_cast<SettingsForm*>(window.tabs()->widget(index));
    const int hidden = form->widget()->sizeHint().height() - form->viewport()->height();
    const QSize full = window.size() + QSize(0, std::max(0, hidden));
    window.resize(full);
    QCoreApplication::processEvents();
    QImage image = window.grab().toImage();
    window.resize(SettingsWindow::initialWindowSize);
    return image;
}

} // namespace

class TestSettingsRenders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void everyTabInEverySkinLightAndDark()
    {
        const QString dir = outputDir();
        SettingsFixture f(true);
        f.signIn(QStringLiteral("someone@example.com"));
        f.fake.permissions.microphone = true;
        SettingsWindow& window = f.open();
        window.show();
        int written = 0;
        for (const bool dark : {false, true}) {
            f.fake.appearance.setDark(dark);
            for (const ThemePalette& skin : ThemePalette::all()) {
                f.settings().setValue(SettingKey::skinId, skin.id);
                QCOMPARE(Theme::palette().id, skin.id);
                QCOMPARE(window.palette().color(QPalette::Window), Theme::color(skin.bg));
                for (int i = 0; i < window.tabs()->count(); ++i) {
                    const QImage image = renderTab(window, i);
                    QVERIFY(!image.isNull());
                    // Every tab fits the narrowest window without a sideways scroll.
                    auto* form = qobject_cast<SettingsForm*>(window.tabs()->widget(i));
                    QVERIFY2(form->widget()->minimumSizeHint().width() <= SettingsWindow::minimumWindowSize.width(),
                             qPrintable(window.tabTitles()[i]));
                    const QString name = QStringLiteral("%1-%2-%3.png")
                                             .arg(i)
                                             .arg(skin.id, dark ? QStringLiteral("dark") : QStringLiteral("light"));
                    QVERIFY(image.save(dir + "/" + name));
                    ++written;
                }
            }
        }
        QCOMPARE(written, 2 * 4 * 5);
    }

    void signedOutAccountAndDimmedSounds()
    {
        SettingsFixture f(true);
        f.settings().setValue(SettingKey::soundFX, false);
        f.fake.permissions.accessibility = false;
        SettingsWindow& window = f.open();
        window.show();
        const QString dir = outputDir();
        QVERIFY(renderTab(window, 0).save(dir + "/account-signed-out.png"));
        QVERIFY(renderTab(window, 1).save(dir + "/general-accessibility-missing.png"));
        QVERIFY(renderTab(window, 3).save(dir + "/appearance-sounds-off.png"));
    }
};

MURMO_TEST(TestSettingsRenders)
#include "tst_SettingsRenders.moc"
