#include "app/controller/AppState.h"
#include "app/controller/HotkeyRole.h"
#include "app/controller/Settings.h"
#include "app/desktop/HotkeyEngine.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "app/settings/editors/HotkeyRecorderView.h"
#include "platform/SystemClock.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "tests/app/desktop/hotkeys_x11/XTestKeyboard.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace {

// The application in front: remembers every key press that reaches it.
class KeyWindow : public QWidget
{
public:
    QList<int> pressed;

protected:
    void keyPressEvent(QKeyEvent* event) override { pressed << event->key(); }
};

// The settings window's part under test over the real key watcher.
struct Desktop
{
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("Murmo.conf")), nullptr};
    AppState state{settings};
    SystemClock clock;
    X11KeyEventSource source;
    HotkeyEngine engine{source, clock};
    HotkeyCaptureSession session{engine};
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    HotkeyRecorderView* talk = new HotkeyRecorderView(settings, session, HotkeyRole::all().first(), window.get());

    Desktop()
    {
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(talk);
        window->setWindowTitle(QStringLiteral("设置"));
        window->show();
    }

    QPushButton* button() const { return talk->findChild<QPushButton*>(QStringLiteral("capture")); }

    // Opens a settings window of its own with the row of the hotkey with that id, and answers its
    // note.
    QLabel* openRow(const QString& id, QWidget& settingsWindow)
    {
        auto* row = new HotkeyRecorderView(settings, session, *HotkeyRole::byId(id), &settingsWindow);
        (new QVBoxLayout(&settingsWindow))->addWidget(row);
        settingsWindow.show();
        return row->findChild<QLabel*>(QStringLiteral("note"));
    }
};

} // namespace

class TestHotkeyRowsOnDesktop : public QObject
{
    Q_OBJECT

private:
    KeyWindow m_window;
    XTestKeyboard m_keyboard;

    // Brings the key window to the front. Qt's own idea of the active window can lag the server's
    // (a window of this program has just closed): the window is in front once a key typed now
    // reaches it. The key is one no test counts, as more of it may follow.
    void activateKeyWindow()
    {
        const auto before = m_window.pressed.count(Qt::Key_Y);
        const auto reached = [this, before] {
            m_window.activateWindow();
            m_window.raise();
            m_keyboard.tap("y");
            return m_window.pressed.count(Qt::Key_Y) > before;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reached(), kWaitMs);
    }

    // Everything typed before has reached the window once a key typed after it has.
    void typeThrough()
    {
        const auto before = m_window.pressed.count(Qt::Key_X);
        m_keyboard.tap("x");
        QTRY_COMPARE_WITH_TIMEOUT(m_window.pressed.count(Qt::Key_X), before + 1, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY2(m_keyboard.isOpen(), "no X display: run under scripts/with-desktop");
        m_window.resize(300, 200);
        m_window.show();
        activateKeyWindow();
    }

    void init() { m_window.pressed.clear(); }

    void capturingAltTStoresTheTalkHotkey()
    {
        Desktop desktop;
        // Starting applies the grabs once, on the key thread, before the capture asks again.
        QSignalSpy grabbed(&desktop.engine, &HotkeyEngine::grabsUpdated);
        QVERIFY(desktop.engine.start());
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 1, kWaitMs);
        desktop.button()->click();
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 2, kWaitMs);
        QCOMPARE(desktop.engine.grabFailures(), KeyGrabFailures{});

        m_keyboard.press("Alt_L");
        m_keyboard.tap("t");
        m_keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(desktop.settings.text(SettingKey::hkTalk),
                                  QStringLiteral(R"({"isModifierOnly":false,"keyCode":17,"modifiers":524288})"),
                                  kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.button()->text(), QStringLiteral("Alt+T"), kWaitMs);
        QVERIFY(!desktop.talk->isRecording());

        activateKeyWindow();
        typeThrough();
        QVERIFY(!m_window.pressed.contains(Qt::Key_T));
    }

    void closingTheWindowMidCaptureGivesTheKeyboardBack()
    {
        Desktop desktop;
        // Starting applies the grabs once, on the key thread, before the capture asks again.
        QSignalSpy grabbed(&desktop.engine, &HotkeyEngine::grabsUpdated);
        QVERIFY(desktop.engine.start());
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 1, kWaitMs);
        desktop.button()->click();
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 2, kWaitMs);
        QVERIFY(desktop.engine.isCapturing());

        desktop.window->close();
        QVERIFY(!desktop.engine.isCapturing());
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 3, kWaitMs);

        activateKeyWindow();
        m_keyboard.tap("t");
        typeThrough();
        QCOMPARE(m_window.pressed.count(Qt::Key_T), 1);
        QCOMPARE(desktop.settings.text(SettingKey::hkTalk), QString());
    }

    void combinationAnotherProgramHoldsIsNoted()
    {
        XTestKeyboard windowManager;
        windowManager.grabWithAlt("f");
        Desktop desktop;
        desktop.settings.setHotkey(SettingKey::hkTalk, Hotkey{3, 0x80000, false});
        desktop.engine.setHotkeys(HotkeyRole::fromSettings(desktop.settings));
        QVERIFY(desktop.engine.start());
        const auto* note = desktop.talk->findChild<QLabel*>(QStringLiteral("note"));
        QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), kWaitMs);
        QCOMPARE(note->text(),
                 QStringLiteral("⚠️ Alt+F 已被其他程序占用，按下时也会传给它——建议换键"));
    }

    // openbox holds Alt+Space for its window menu. As an ask key it is grabbed only while a
    // dictation starts, yet the settings say so without one.
    void windowManagersKeyIsNotedWithoutARecording()
    {
        Desktop desktop;
        desktop.settings.setHotkey(SettingKey::hkAsk, Hotkey{49, 0x80000, false});
        desktop.engine.setHotkeys(HotkeyRole::fromSettings(desktop.settings));
        QVERIFY(desktop.engine.start());
        QWidget settingsWindow;
        QLabel* note = desktop.openRow(QStringLiteral("ask"), settingsWindow);
        QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), kWaitMs);
        QCOMPARE(
            note->text(),
            QStringLiteral(
                "⚠️ Alt+Space 是窗口管理器「窗口菜单」的系统键，会冲突——建议换键"));
        QVERIFY(!desktop.state.isRecording());
    }

    // A combination another program took after the hotkeys were last tried is found when the
    // settings open.
    void openingTheSettingsTriesTheHotkeysAgain()
    {
        Desktop desktop;
        desktop.settings.setHotkey(SettingKey::hkAsk, Hotkey{3, 0x80000, false});
        desktop.engine.setHotkeys(HotkeyRole::fromSettings(desktop.settings));
        QSignalSpy grabbed(&desktop.engine, &HotkeyEngine::grabsUpdated);
        QVERIFY(desktop.engine.start());
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 1, kWaitMs);
        QCOMPARE(desktop.engine.grabFailures(), KeyGrabFailures{});

        XTestKeyboard otherProgram;
        otherProgram.grabWithAlt("f");
        QWidget settingsWindow;
        QLabel* note = desktop.openRow(QStringLiteral("ask"), settingsWindow);
        QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), kWaitMs);
        QCOMPARE(note->text(),
                 QStringLiteral("⚠️ Alt+F 已被其他程序占用，按下时也会传给它——建议换键"));
    }
};

MURMO_TEST(TestHotkeyRowsOnDesktop)
#include "tst_HotkeyRowsOnDesktop.moc"
