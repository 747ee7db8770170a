#include "app/controller/Migrations.h"
#include "app/ui/Theme.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Migrations::Hotkeys;

class TestAppState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_settings.emplace(m_dir->filePath(QStringLiteral("Murmo.conf")), nullptr);
        m_state.emplace(*m_settings);
    }

    void readyStatusLineFollowsHotkeysAndTrigger_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<std::optional<Hotkey>>("talk");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("line");
        QTest::newRow("toggle") << true << std::optional(altSpace) << "toggle"
                                << "就绪 · 按 Alt+Space 听写，再按一下出字";
        QTest::newRow("hold") << true << std::optional(altR) << "hold"
                              << "就绪 · 按住 Alt+R 听写";
        QTest::newRow("unknown trigger counts as toggle") << true << std::optional(altA) << "tap"
                                                          << "就绪 · 按 Alt+A 听写，再按一下出字";
        QTest::newRow("no talk key") << true << std::optional<Hotkey>() << "toggle"
                                     << "就绪 · 先去设置里设一个听写键";
        QTest::newRow("hotkeys dead") << false << std::optional(altSpace) << "hold"
                                      << "⚠️ 快捷键未生效——按窗口顶部提示处理即可恢复";
        QTest::newRow("hotkeys dead, no key")
            << false << std::optional<Hotkey>() << "toggle"
            << "⚠️ 快捷键未生效——按窗口顶部提示处理即可恢复";
    }

    void readyStatusLineFollowsHotkeysAndTrigger()
    {
        QFETCH(bool, active);
        QFETCH(std::optional<Hotkey>, talk);
        QFETCH(QString, trigger);
        QFETCH(QString, line);
        m_settings->setHotkey(SettingKey::hkTalk, talk);
        m_settings->setValue(SettingKey::recordTrigger, trigger);
        m_state->setHotkeysActive(active);
        QCOMPARE(m_state->readyStatusLine(), line);
    }

    // The first start comes after the main window's first frame: nothing has failed before it, and
    // a first start that fails is told to the windows.
    void hotkeysFailOnlyOnceStarted()
    {
        QVERIFY(!m_state->hotkeysFailed());
        QVERIFY(m_state->readyStatusLine().startsWith(QStringLiteral("就绪")));
        QSignalSpy changed(&*m_state, &AppState::hotkeysActiveChanged);
        m_state->setHotkeysActive(false);
        QVERIFY(m_state->hotkeysFailed());
        QCOMPARE(changed.count(), 1);
    }

    void fnHotkeyIsFoundOnAnyKey()
    {
        QVERIFY(!m_state->hasFnHotkey());
        m_settings->setHotkey(SettingKey::hkRewrite, fnAlone);
        QVERIFY(m_state->hasFnHotkey());
        m_settings->setHotkey(SettingKey::hkRewrite, Hotkey{63, 0x80000, false});
        QVERIFY(!m_state->hasFnHotkey());
    }

    void preferencesCopyTheWritingSettings()
    {
        m_settings->setValue(SettingKey::prefNoTrailingPeriod, false);
        m_settings->setValue(SettingKey::prefSpacesForCommas, true);
        m_settings->setValue(SettingKey::prefCustomNotes, QStringLiteral("用全角标点\n少用感叹号"));
        StylePreferences expected;
        expected.spacesForCommas = true;
        expected.customNotes = QStringLiteral("用全角标点\n少用感叹号");
        QCOMPARE(m_state->preferences(), expected);
    }

    // A background report never takes the place of a line the user is owed: a running recording's,
    // or a notice until the user's next action.
    void backgroundReportsGiveWayToWhatTheUserIsOwed()
    {
        const QString synced = QStringLiteral("已同步 2 条词库");
        const QString notice = QStringLiteral("设置文件已损坏");
        QSignalSpy spy(&*m_state, &AppState::statusLineChanged);
        m_state->setRecording(true);
        QVERIFY(!m_state->reportInBackground(synced));
        QCOMPARE(m_state->statusLine(), AppState::kInitialStatusLine);
        m_state->setRecording(false);
        m_state->showNotice(notice);
        QVERIFY(!m_state->reportInBackground(synced));
        QCOMPARE(m_state->statusLine(), notice);
        m_state->setStatusLine(QStringLiteral("已插入"));
        QVERIFY(m_state->reportInBackground(synced));
        QCOMPARE(m_state->statusLine(), synced);
        QCOMPARE(spy.count(), 3);
    }

    void feedbackFollowsTheSettings()
    {
        FakeApp fake;
        AppServices& app = fake.build();
        app.feedback().applyAll();
        Settings& settings = app.settings();
        QSignalSpy theme(&app.state(), &AppState::themeVersionChanged);

        settings.setValue(SettingKey::soundFX, false);
        QVERIFY(!app.sounds().enabled());
        settings.setValue(SettingKey::soundFX, false); // the same value still redraws
        settings.setValue(SettingKey::soundVolume, 3.0);
        QCOMPARE(app.sounds().volume(), 1.0f);
        QCOMPARE(theme.count(), 3);

        settings.setValue(SettingKey::soundSet, QStringLiteral("glass"));
        QCOMPARE(app.sounds().currentSet(), QStringLiteral("glass"));
        QCOMPARE(theme.count(), 4); // the sound-set picker redraws with its new choice
        settings.setValue(SettingKey::skinId, QStringLiteral("zhupi"));
        QCOMPARE(Theme::palette().id, QStringLiteral("zhupi"));
        QCOMPARE(theme.count(), 5);
        settings.setValue(SettingKey::autoLearnFromEdits, false);
        QVERIFY(!app.learning().isEnabled());

        // The desktop turning dark redraws in the same skin.
        QVERIFY(!Theme::isDark());
        fake.appearance.setDark(true);
        QVERIFY(Theme::isDark());
        QCOMPARE(Theme::palette().id, QStringLiteral("zhupi"));
        QCOMPARE(theme.count(), 6);
        fake.appearance.setDark(false);
        settings.setValue(SettingKey::skinId, QStringLiteral("xuan"));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::optional<Settings> m_settings;
    std::optional<AppState> m_state;
};

MURMO_TEST(TestAppState)
#include "tst_AppState.moc"
