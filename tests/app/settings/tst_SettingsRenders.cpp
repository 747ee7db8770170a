#include "app/settings/SettingsForm.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/RemovableRowsView.h"
#include "app/ui/ControlStyle.h"
#include "app/ui/Theme.h"
#include "tests/app/feedback/TextContrast.h"
#include "tests/app/settings/SettingsFixture.h"
#include "tests/support/TestRegistry.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>

namespace {

QString outputDir()
{
    const QString root = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + "/murmo-test-output");
    const QString dir = root + "/settings";
    QDir().mkpath(dir);
    return dir;
}

// The weakest side of a box drawn in image: per side, the strongest contrast that any pixel of a
// two-pixel strip along it shows against what surrounds the box.
double weakestSide(const QImage& image, const QRect& box)
{
    const QColor around = image.pixelColor(box.left() - 4, box.center().y());
    const QList<QRect> sides{{box.left(), box.top(), box.width(), 2},
                             {box.left(), box.bottom() - 1, box.width(), 2},
                             {box.left(), box.top(), 2, box.height()},
                             {box.right() - 1, box.top(), 2, box.height()}};
    double weakest = 21.0;
    for (const QRect& side : sides)
        weakest = std::min(weakest, TextContrast::strongestAgainst(image, side, around));
    return weakest;
}

// Every check box, text field and choice box on the tab shows its boundary at 3:1 or more.
void checkBoundaries(const QWidget& window, const QWidget& form, const QImage& image)
{
    for (QWidget* control : form.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&window) || !control->isEnabled())
            continue;
        QRect box;
        if (auto* check = qobject_cast<QCheckBox*>(control)) {
            QStyleOptionButton option;
            option.initFrom(check);
            box = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        } else if (qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control)) {
            box = control->rect();
        } else {
            continue;
        }
        box.translate(control->mapTo(&window, QPoint(0, 0)));
        const double contrast = weakestSide(image, box);
        QVERIFY2(contrast >= ControlStyle::minimumContrast,
                 qPrintable(QStringLiteral("%1 %2: %3")
                                .arg(control->metaObject()->className(), control->objectName())
                                .arg(contrast)));
    }
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
    checkBoundaries(window, *form, image);
    window.resize(SettingsWindow::initialWindowSize);
    return image;
}

} // namespace

class TestSettingsRenders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The program's own style, as it installs it at start.
    void initTestCase() { QApplication::setStyle(new ControlStyle); }

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
        // The lexicon's fields and rules, with the other tabs' controls.
        f.fake.app->lexicon()->addRule(QStringLiteral("扣德"), QStringLiteral("code"), QStringLiteral("user_added"));
        f.editors.lexicon = [&f](QWidget* parent) {
            return new LexiconEditor(f.state(), *f.fake.app->lexicon(), parent);
        };
        SettingsWindow& window = f.open();
        window.show();
        // The rules are built on a worker.
        QTRY_COMPARE(window.findChild<LexiconEditor*>()->list()->model()->rowCount(), 1);
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

    void choiceListsOpenInTheSkin_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    // The list of a choice box opens as a window of its own: it shows the skin's card and accent,
    // not the desktop's menu colours.
    void choiceListsOpenInTheSkin()
    {
        QFETCH(bool, dark);
        SettingsFixture f;
        f.fake.appearance.setDark(dark);
        f.settings().setValue(SettingKey::skinId, ThemePalette::celadon().id);
        SettingsWindow& window = f.open();
        window.show();
        auto* choice = window.findChild<QComboBox*>(QStringLiteral("recordTrigger"));
        window.tabs()->setCurrentIndex(int(window.tabTitles().indexOf(QStringLiteral("通用"))));
        choice->showPopup();
        QTRY_VERIFY_WITH_TIMEOUT(choice->view()->isVisible(), 20000);
        const QImage list = choice->view()->viewport()->grab().toImage();
        QVERIFY(list.save(QStringLiteral("%1/choice-list-%2.png").arg(outputDir(), dark ? "dark" : "light")));
        const ThemePalette& skin = Theme::palette();
        // The chosen row first, the other below it.
        QCOMPARE(list.pixelColor(4, 4), Theme::color(skin.accent));
        QCOMPARE(list.pixelColor(4, list.height() - 4), Theme::color(skin.bg));
        choice->hidePopup();
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

    // The captions say what the keys the user set do, and follow them as they change.
    void hotkeyCaptionNamesTheKeysSet()
    {
        struct Step
        {
            std::optional<Hotkey> talk, ask, translate, rewrite, cycle;
            QString text;
            QString switching;
        };
        const Hotkey menu{63, 0, true};
        const Hotkey altT{17, 0x80000, false};
        const QList<Step> steps{
            {menu, Hotkey{0, 0x80000, false}, altT, Hotkey{15, 0x80000, false}, Hotkey{46, 0x180000, false},
             QStringLiteral("按主键 Menu 听写。录音开始后一秒内按 Alt+A 提问 · Alt+T 翻译 · Alt+R "
                            "改写（先选中文字），再按同一键回到听写。按 Esc 取消。"),
             QStringLiteral("快速切换：主窗口选择 / Alt+Super+M 循环 / 听写时以「书面模式」「聊天模式」开头")},
            {menu, Hotkey{12, 0x40000, false}, altT, std::nullopt, Hotkey{46, 0x40000, false},
             QStringLiteral(
                 "按主键 Menu 听写。录音开始后一秒内按 Ctrl+Q 提问 · Alt+T 翻译，再按同一键回到听写。按 Esc 取消。"),
             QStringLiteral("快速切换：主窗口选择 / Ctrl+M 循环 / 听写时以「书面模式」「聊天模式」开头")},
            {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
             QStringLiteral("设置主键后即可听写。按 Esc 取消。"),
             QStringLiteral("快速切换：主窗口选择 / 听写时以「书面模式」「聊天模式」开头")},
        };
        SettingsFixture f;
        SettingsWindow& window = f.open();
        window.show();
        auto* caption = window.findChild<CaptionLabel*>(QStringLiteral("hotkeyCaption"));
        auto* switching = window.findChild<CaptionLabel*>(QStringLiteral("modeSwitchCaption"));
        QVERIFY(caption && switching);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const Step& step = steps[i];
            f.settings().setHotkey(SettingKey::hkTalk, step.talk);
            f.settings().setHotkey(SettingKey::hkAsk, step.ask);
            f.settings().setHotkey(SettingKey::hkTranslate, step.translate);
            f.settings().setHotkey(SettingKey::hkRewrite, step.rewrite);
            f.settings().setHotkey(SettingKey::hkCycle, step.cycle);
            QCOMPARE(caption->text(), step.text);
            QCOMPARE(switching->text(), step.switching);
            const QImage image = renderTab(window, window.tabTitles().indexOf(QStringLiteral("通用")));
            QVERIFY(image.save(QStringLiteral("%1/general-hotkey-caption-%2.png").arg(outputDir()).arg(i)));
            // Shown, and wrapped inside its card rather than cut off or widening the window.
            QVERIFY(caption->isVisibleTo(&window));
            QVERIFY(caption->geometry().right() <= caption->parentWidget()->contentsRect().right());
            QVERIFY(caption->height() >= caption->heightForWidth(caption->width()));
        }
    }
};

MURMO_TEST(TestSettingsRenders)
#include "tst_SettingsRenders.moc"
