#include "app/controller/HotkeyRole.h"
#include "app/desktop/HotkeyEngine.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyNote.h"
#include "app/settings/editors/HotkeyRecorderView.h"
#include "app/settings/editors/SettingsEditorKit.h"
#include "platform/KeyEvent.h"
#include "tests/app/settings_editors/EditorRig.h"
#include "tests/support/TestRegistry.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int kSpace = 49;
constexpr int kT = 17;
constexpr quint64 kCapsLockBit = 0x10000;

using Tone = HotkeyNote::Note::Tone;

Hotkey key(int code, quint64 modifiers)
{
    return Hotkey{code, modifiers, false};
}

// The engine and one capture session over the fake keyboard.
struct Rig : EditorRig
{
    std::unique_ptr<HotkeyCaptureSession> session;

    Rig()
    {
        QVERIFY(app.hotkeys().start());
        session = std::make_unique<HotkeyCaptureSession>(app.hotkeys());
    }

    std::unique_ptr<HotkeyRecorderView> row(const QString& id)
    {
        auto view = std::make_unique<HotkeyRecorderView>(settings(), *session, *HotkeyRole::byId(id));
        view->show();
        return view;
    }
};

QPushButton* captureButton(HotkeyRecorderView& row)
{
    return row.findChild<QPushButton*>(QStringLiteral("capture"));
}

} // namespace

class TestHotkeyRecorder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notes_data()
    {
        QTest::addColumn<std::optional<Hotkey>>("hotkey");
        QTest::addColumn<bool>("fnTaken");
        QTest::addColumn<bool>("heldElsewhere");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tone");
        QTest::addColumn<bool>("link");

        const QString none;
        const auto fn = std::optional<Hotkey>(Hotkey{KeyCode::menu, 0, true});
        QTest::newRow("no hotkey") << std::optional<Hotkey>() << true << true << none << 0 << false;
        QTest::newRow("fn, desktop takes it")
            << fn << true << false
            << QStringLiteral("⚠️ Fn "
                              "现在会切输入法/Emoji。去「系统设置→键盘→按下🌐键以」改成「无操作」才能当听写键")
            << int(Tone::Warn) << true;
        QTest::newRow("fn free") << fn << false << false << QStringLiteral("✓ Menu 已可作听写键") << int(Tone::Ok)
                                 << false;
        QTest::newRow("fn, mask ignored")
            << std::optional<Hotkey>(Hotkey{KeyCode::menu, KeyModifier::alt, true}) << false << false
            << QStringLiteral("✓ Menu 已可作听写键") << int(Tone::Ok) << false;
        QTest::newRow("ctrl chord") << std::optional<Hotkey>(Hotkey{KeyCode::leftControl, KeyModifier::control, true})
                                    << true << false << none << 0 << false;
        QTest::newRow("ctrl+space") << std::optional(key(kSpace, KeyModifier::control)) << false << false
                                    << QStringLiteral("⚠️ Ctrl+Space "
                                                      "是输入法「切换输入法」的系统键，按它会切中英——建议换键")
                                    << int(Tone::Warn) << false;
        QTest::newRow("super+space with caps lock")
            << std::optional(key(kSpace, KeyModifier::super | kCapsLockBit)) << false << false
            << QStringLiteral(
                   "⚠️ Super+Space 是桌面「切换输入源」的系统键，会冲突——建议换键")
            << int(Tone::Warn) << false;
        QTest::newRow("alt+space grabbed by us")
            << std::optional(key(kSpace, KeyModifier::alt)) << false << false << none << 0 << false;
        QTest::newRow("alt+space held by the window manager")
            << std::optional(key(kSpace, KeyModifier::alt)) << false << true
            << QStringLiteral(
                   "⚠️ Alt+Space 是窗口管理器「窗口菜单」的系统键，会冲突——建议换键")
            << int(Tone::Warn) << false;
        QTest::newRow("ctrl+super+space") << std::optional(key(kSpace, KeyModifier::control | KeyModifier::super))
                                          << false << false << none << 0 << false;
        QTest::newRow("shift+ctrl+space") << std::optional(key(kSpace, KeyModifier::control | KeyModifier::shift))
                                          << false << false << none << 0 << false;
        QTest::newRow("alt+t held elsewhere")
            << std::optional(key(kT, KeyModifier::alt)) << false << true
            << QStringLiteral("⚠️ Alt+T 已被其他程序占用，按下时也会传给它——建议换键")
            << int(Tone::Warn) << false;
    }

    void notes()
    {
        QFETCH(std::optional<Hotkey>, hotkey);
        QFETCH(bool, fnTaken);
        QFETCH(bool, heldElsewhere);
        QFETCH(QString, text);
        QFETCH(int, tone);
        QFETCH(bool, link);
        const std::optional<HotkeyNote::Note> note = HotkeyNote::forHotkey(hotkey, fnTaken, heldElsewhere);
        if (text.isEmpty()) {
            QVERIFY(!note);
            return;
        }
        QVERIFY(note);
        QCOMPARE(note->text, text);
        QCOMPARE(int(note->tone), tone);
        QCOMPARE(note->offersKeyboardSettings, link);
    }

    void rowShowsTheStoredHotkey_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("clearable");
        QTest::newRow("empty") << QString() << QStringLiteral("未设置 · 点设置") << false;
        QTest::newRow("undecodable") << QStringLiteral("{\"keyCode\":\"49\"}") << QStringLiteral("未设置 · 点设置")
                                     << false;
        QTest::newRow("alt+space") << encodeHotkey(key(kSpace, KeyModifier::alt)) << QStringLiteral("Alt+Space")
                                   << true;
    }

    void rowShowsTheStoredHotkey()
    {
        QFETCH(QString, stored);
        QFETCH(QString, title);
        QFETCH(bool, clearable);
        Rig rig;
        rig.settings().setValue(SettingKey::hkAsk, stored);
        auto row = rig.row(QStringLiteral("ask"));
        QCOMPARE(captureButton(*row)->text(), title);
        QVERIFY(captureButton(*row)->width() >= 150);
        QCOMPARE(row->findChild<QWidget*>(QStringLiteral("clear"))->isVisible(), clearable);
        QVERIFY(!row->findChild<QWidget*>(QStringLiteral("note"))->isVisible());

        if (clearable) {
            QTest::mouseClick(row->findChild<QWidget*>(QStringLiteral("clear")), Qt::LeftButton);
            QCOMPARE(rig.settings().hotkey(SettingKey::hkAsk), std::nullopt);
            QCOMPARE(captureButton(*row)->text(), QStringLiteral("未设置 · 点设置"));
        }
    }

    void capturingAltTStoresIt()
    {
        Rig rig;
        auto row = rig.row(QStringLiteral("talk"));
        captureButton(*row)->click();
        QVERIFY(rig.app.hotkeys().isCapturing());
        QCOMPARE(captureButton(*row)->text(), QStringLiteral("按下快捷键…（Esc 取消）"));
        QVERIFY(!row->findChild<QWidget*>(QStringLiteral("clear"))->isVisible());
        // A dictation finishing meanwhile leaves the capture going.
        rig.state().bumpHistoryVersion();
        QVERIFY(row->isRecording());

        rig.fake.keys.press(KeyCode::leftAlt);
        rig.fake.keys.tap(kT);
        rig.fake.keys.release(KeyCode::leftAlt);
        QTRY_COMPARE_WITH_TIMEOUT(rig.settings().text(SettingKey::hkTalk), encodeHotkey(key(kT, KeyModifier::alt)),
                                  20000);
        QTRY_VERIFY_WITH_TIMEOUT(!row->isRecording(), 20000);
        QCOMPARE(captureButton(*row)->text(), QStringLiteral("Alt+T"));
        QVERIFY(!rig.app.hotkeys().isCapturing());
    }

    void everyEndOfACaptureReleasesTheKeyboard_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("button again") << "button";
        QTest::newRow("esc") << "esc";
        QTest::newRow("row hidden") << "hide";
        QTest::newRow("row destroyed") << "destroy";
    }

    void everyEndOfACaptureReleasesTheKeyboard()
    {
        QFETCH(QString, how);
        Rig rig;
        rig.settings().setHotkey(SettingKey::hkRewrite, key(kSpace, KeyModifier::alt | KeyModifier::shift));
        auto row = rig.row(QStringLiteral("rewrite"));
        captureButton(*row)->click();
        QCOMPARE(captureButton(*row)->text(), QStringLiteral("按下快捷键…（Esc 取消）"));
        QVERIFY(rig.app.hotkeys().isCapturing());

        if (how == "button")
            captureButton(*row)->click();
        else if (how == "esc")
            rig.fake.keys.tap(KeyCode::escape);
        else if (how == "hide")
            row->hide();
        else
            row.reset();

        QVERIFY(!rig.app.hotkeys().isCapturing());
        // Esc ends the engine's capture by itself; the session notices on its next look.
        QTRY_COMPARE_WITH_TIMEOUT(rig.session->capturing(), std::nullopt, 20000);
        if (row) {
            QTRY_VERIFY_WITH_TIMEOUT(!row->isRecording(), 20000);
            QCOMPARE(captureButton(*row)->text(), QStringLiteral("Alt+Shift+Space"));
        }
        // Nothing was stored by the ended capture.
        QCOMPARE(rig.settings().text(SettingKey::hkRewrite),
                 encodeHotkey(key(kSpace, KeyModifier::alt | KeyModifier::shift)));
    }

    void anotherRowsCaptureEndsThisOne()
    {
        Rig rig;
        auto talk = rig.row(QStringLiteral("talk"));
        auto cycle = rig.row(QStringLiteral("cycle"));
        captureButton(*talk)->click();
        captureButton(*cycle)->click();
        QVERIFY(!talk->isRecording());
        QCOMPARE(captureButton(*talk)->text(), QStringLiteral("未设置 · 点设置"));
        QCOMPARE(rig.session->capturing(), HotkeyUse::cycle);
        // The first row going away leaves the other's capture alone.
        talk.reset();
        QVERIFY(rig.app.hotkeys().isCapturing());
    }

    void kitRowsShareOneCapture()
    {
        EditorRig rig;
        QVERIFY(rig.app.hotkeys().start());
        SettingsEditorKit kit({rig.app.state(), rig.app.settings(), rig.app.hotkeys(), rig.fake.workspace,
                               rig.fake.launcher, rig.app.customRules(), rig.app.personalData()},
                              {{}});
        rig.settings().setHotkey(SettingKey::hkCycle, key(kT, KeyModifier::control));
        std::unique_ptr<QWidget> talk(kit.hotkeyRecorder(*HotkeyRole::byId("talk"), nullptr));
        std::unique_ptr<QWidget> cycle(kit.hotkeyRecorder(*HotkeyRole::byId("cycle"), nullptr));
        talk->show();
        cycle->show();
        talk->findChild<QPushButton*>(QStringLiteral("capture"))->click();
        cycle->findChild<QPushButton*>(QStringLiteral("capture"))->click();
        QCOMPARE(talk->findChild<QPushButton*>(QStringLiteral("capture"))->text(), QStringLiteral("未设置 · 点设置"));
        cycle->findChild<QPushButton*>(QStringLiteral("capture"))->click();
        QVERIFY(!rig.app.hotkeys().isCapturing());

        // The window's factories make the kit's editors, one kind per slot.
        const SettingsEditors editors = kit.editors();
        const QList<std::pair<SettingsEditors::Factory, const char*>> slots{
            {editors.appRules, "AppRulesEditor"},       {editors.customPrefs, "CustomPrefsEditor"},
            {editors.lexicon, "LexiconEditor"},         {editors.lexiconImport, "LexiconImportButton"},
            {editors.styleProfile, "StyleProfileView"},
        };
        for (const auto& [factory, type] : slots) {
            std::unique_ptr<QWidget> editor(factory(nullptr));
            QCOMPARE(editor->metaObject()->className(), type);
        }
        std::unique_ptr<QWidget> ask(editors.hotkeyRecorder(*HotkeyRole::byId(QStringLiteral("ask")), nullptr));
        QCOMPARE(qobject_cast<HotkeyRecorderView*>(ask.get())->id(), QStringLiteral("ask"));
    }

    void noteFollowsTheStoredHotkey()
    {
        Rig rig;
        auto row = rig.row(QStringLiteral("talk"));
        rig.settings().setHotkey(SettingKey::hkTalk, key(kSpace, KeyModifier::control));
        const auto* note = row->findChild<QLabel*>(QStringLiteral("note"));
        QVERIFY(note->isVisible());
        QVERIFY(note->text().startsWith(QStringLiteral("⚠️ Ctrl+Space")));
        QCOMPARE(captureButton(*row)->text(), QStringLiteral("Ctrl+Space"));
        rig.settings().setHotkey(SettingKey::hkTalk, Hotkey{KeyCode::menu, 0, true});
        QCOMPARE(note->text(), QStringLiteral("✓ Menu 已可作听写键"));
        QVERIFY(!row->findChild<QWidget*>(QStringLiteral("keyboardSettings"))->isVisible());

        // Another hotkey set to the same key: both rows say so, until one changes.
        auto cycle = rig.row(QStringLiteral("cycle"));
        const auto* cycleNote = cycle->findChild<QLabel*>(QStringLiteral("note"));
        rig.settings().setHotkey(SettingKey::hkCycle, Hotkey{KeyCode::menu, 0, true});
        QCOMPARE(note->text(), QStringLiteral("⚠️ "
                                              "与「切换风格模式」是同一个键，按下时两者会互相干扰——建议换键"));
        QCOMPARE(cycleNote->text(),
                 QStringLiteral(
                     "⚠️ 与「听写主键」是同一个键，按下时两者会互相干扰——建议换键"));
        rig.settings().setHotkey(SettingKey::hkCycle, key(kT, KeyModifier::alt));
        QCOMPARE(note->text(), QStringLiteral("✓ Menu 已可作听写键"));
        QVERIFY(!cycleNote->isVisible());
    }
};

MURMO_TEST(TestHotkeyRecorder)
#include "tst_HotkeyRecorder.moc"
