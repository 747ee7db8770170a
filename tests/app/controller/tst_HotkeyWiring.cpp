#include "core/text/StyleMode.h"
#include "tests/app/controller/WiringRig.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace WiringKeys;

Q_DECLARE_METATYPE(Hotkey)

namespace {

void pressTalk(WiringRig& rig, const Hotkey& talk)
{
    if (talk.isModifierOnly) {
        rig.press(menu);
    } else {
        rig.fake.keys.press(leftAlt);
        rig.press(space);
    }
}

void repeatTalk(WiringRig& rig, const Hotkey& talk, int times)
{
    rig.repeat(talk.isModifierOnly ? menu : space, times);
}

void releaseTalk(WiringRig& rig, const Hotkey& talk)
{
    if (talk.isModifierOnly) {
        rig.release(menu);
    } else {
        rig.release(space);
        rig.release(leftAlt);
    }
}

} // namespace

class TestHotkeyWiring : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void talkKey_data()
    {
        QTest::addColumn<Hotkey>("talk");
        QTest::newRow("Alt+Space") << altSpace;
        QTest::newRow("Menu alone") << menuAlone;
    }

    // Hold: the press starts, a held key's auto-repeat changes nothing, the release stops.
    // Toggle: presses alternate, auto-repeat and releases change nothing.
    void talkKey()
    {
        QFETCH(Hotkey, talk);
        {
            WiringRig rig(QStringLiteral("hold"), talk);
            pressTalk(rig, talk);
            QCOMPARE(rig.log.entries, QStringList{"start"});
            rig.fake.clock.advance(std::chrono::milliseconds(300));
            repeatTalk(rig, talk, 5);
            QVERIFY(rig.app.state().isRecording());
            releaseTalk(rig, talk);
            QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
        }
        {
            WiringRig rig(QStringLiteral("toggle"), talk);
            pressTalk(rig, talk);
            repeatTalk(rig, talk, 5);
            rig.fake.clock.advance(std::chrono::milliseconds(300));
            releaseTalk(rig, talk);
            QCOMPARE(rig.log.entries, QStringList{"start"});
            QVERIFY(rig.app.state().isRecording());
            rig.fake.clock.advance(std::chrono::milliseconds(300));
            pressTalk(rig, talk);
            repeatTalk(rig, talk, 5);
            QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
            rig.fake.clock.advance(std::chrono::milliseconds(300));
            releaseTalk(rig, talk);
            QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
        }
    }

    // A contact bounce of the Menu key as it goes down (released and pressed again within a few
    // milliseconds) does not end the recording it starts.
    void holdSurvivesBounce()
    {
        WiringRig rig(QStringLiteral("hold"), menuAlone);
        rig.press(menu);
        rig.fake.clock.advance(std::chrono::milliseconds(5));
        rig.release(menu);
        rig.fake.clock.advance(std::chrono::milliseconds(5));
        rig.press(menu);
        QVERIFY(rig.app.state().isRecording());
        rig.fake.clock.advance(std::chrono::milliseconds(500));
        rig.release(menu);
        QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
    }

    void chordKeys_data()
    {
        QTest::addColumn<QList<int>>("chords");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("action");
        QTest::addColumn<OverlayModel::Phase>("phase");
        using Action = RecordingPurpose::Action;
        using Phase = OverlayModel::Phase;
        QTest::newRow("translate") << QList<int>{keyT} << "正在聆听…（译成英文）" << int(Action::Translate)
                                   << Phase::listeningTranslate;
        QTest::newRow("translate twice") << QList<int>{keyT, keyT} << "正在聆听…" << int(Action::Dictate)
                                         << Phase::listening;
        QTest::newRow("ask after translate")
            << QList<int>{keyT, keyA} << "正在聆听…（提问）" << int(Action::Ask) << Phase::listeningAsk;
        QTest::newRow("ask twice") << QList<int>{keyA, keyA} << "正在聆听…" << int(Action::Dictate) << Phase::listening;
    }

    void chordKeys()
    {
        QFETCH(QList<int>, chords);
        QFETCH(QString, status);
        QFETCH(int, action);
        QFETCH(OverlayModel::Phase, phase);

        WiringRig rig;
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        for (int key : chords)
            rig.altTap(key);
        QCOMPARE(rig.app.state().statusLine(), status);
        QCOMPARE(int(rig.purpose().action), action);
        QVERIFY(!rig.purpose().selection);
        QCOMPARE(rig.overlayPhase(), phase);
        QCOMPARE(rig.log.entries, QStringList{"start"});
    }

    void rewriteNeedsASelection()
    {
        WiringRig rig;
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        rig.altTap(keyT);
        rig.fake.accessibility.addFocusedField(QStringLiteral("nothing selected here"));
        rig.altTap(keyR);
        QCOMPARE(rig.app.state().statusLine(), Recording::kNoSelection);
        QCOMPARE(rig.overlayPhase(), OverlayModel::Phase::failed);
        // The recording keeps the action it had.
        QCOMPARE(rig.purpose(), RecordingPurpose::translate());

        rig.fake.clock.advance(std::chrono::milliseconds(3900));
        QVERIFY(rig.overlayPhase() != OverlayModel::Phase::listeningTranslate);
        rig.fake.clock.advance(std::chrono::milliseconds(100));
        QCOMPARE(rig.overlayPhase(), OverlayModel::Phase::listeningTranslate);
        QCOMPARE(rig.app.state().statusLine(), Recording::kNoSelection);
    }

    void noSelectionHintDoesNotReviveAnEndedRecording()
    {
        WiringRig rig;
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        rig.altTap(keyR);
        QCOMPARE(rig.overlayPhase(), OverlayModel::Phase::failed);
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
        rig.fake.clock.advance(std::chrono::milliseconds(5000));
        QVERIFY(!OverlayModel::isListening(rig.overlayPhase()));
    }

    void rewriteTakesTheSelectionAndTurnsOffWithoutReadingAgain()
    {
        WiringRig rig;
        auto field = rig.fake.accessibility.addFocusedField(QStringLiteral("make this formal"));
        field->selectionStart = 0;
        field->selectionEnd = 4;
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        rig.altTap(keyR);
        QCOMPARE(rig.app.state().statusLine(), QStringLiteral("正在聆听…（改写）"));
        QCOMPARE(rig.purpose(), RecordingPurpose::rewrite(QStringLiteral("make")));
        QCOMPARE(rig.overlayPhase(), OverlayModel::Phase::listeningRewrite);
        const qsizetype reads = rig.fake.accessibility.requests.size();

        rig.altTap(keyR);
        QCOMPARE(rig.fake.accessibility.requests.size(), reads);
        QCOMPARE(rig.purpose(), RecordingPurpose::dictate());
        QCOMPARE(rig.app.state().statusLine(), QStringLiteral("正在聆听…"));
    }

    void escCancelsOnlyARecording()
    {
        WiringRig rig;
        QVERIFY(!rig.press(esc));
        rig.release(esc);
        QVERIFY(rig.log.entries.isEmpty());

        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        QVERIFY(rig.press(esc));
        rig.release(esc);
        QCOMPARE(rig.log.entries, (QStringList{"start", "end"}));
        QCOMPARE(rig.overlayPhase(), OverlayModel::Phase::cancelled);
    }

    void cycleKey_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("named");
        QTest::newRow("raw") << "raw"
                             << "casual" << StyleMode::casual().name;
        QTest::newRow("formal wraps") << "formal"
                                      << "raw" << StyleMode::raw().name;
        QTest::newRow("unknown stays") << "mine"
                                       << "mine" << StyleMode::formal().name;
    }

    void cycleKey()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, named);
        WiringRig rig;
        rig.app.settings().setValue(SettingKey::currentModeId, from);
        rig.fake.keys.press(leftAlt);
        rig.fake.keys.press(leftSuper);
        rig.press(keyM);
        rig.repeat(keyM, 3);
        QCOMPARE(rig.app.settings().text(SettingKey::currentModeId), to);
        QCOMPARE(rig.app.state().statusLine(), QStringLiteral("已切换模式：") + named);
    }

    // Menu alone chosen as the talk key: the desktop's own use of the key goes, once.
    void menuAloneAsTheTalkKey_data()
    {
        QTest::addColumn<SettingKey>("setting");
        QTest::addColumn<Hotkey>("hotkey");
        QTest::addColumn<bool>("hijacked");
        QTest::addColumn<int>("fnChanges");
        QTest::newRow("Fn talk, desktop takes Fn") << SettingKey::hkTalk << menuAlone << true << 1;
        QTest::newRow("Fn talk, Fn free") << SettingKey::hkTalk << menuAlone << false << 0;
        QTest::newRow("Fn ask") << SettingKey::hkAsk << menuAlone << true << 0;
        QTest::newRow("other talk key") << SettingKey::hkTalk << altA << true << 0;
    }

    void menuAloneAsTheTalkKey()
    {
        QFETCH(SettingKey, setting);
        QFETCH(Hotkey, hotkey);
        QFETCH(bool, hijacked);
        QFETCH(int, fnChanges);
        WiringRig rig;
        rig.fnHijacked = hijacked;
        rig.app.settings().setHotkey(setting, hotkey);
        QCOMPARE(rig.fnChanges, fnChanges);
        QCOMPARE(rig.app.settings().flag(SettingKey::didAutoSetFnNoActionV8), fnChanges > 0);
    }

    // The settings are the one place the keys are kept: a cleared chord key stops switching at
    // once, a new talk key is the one that records, and nothing else hears of it.
    void changedSettingsReachTheEngine()
    {
        WiringRig rig;
        const int version = rig.app.state().historyVersion();
        rig.app.settings().setHotkey(SettingKey::hkTranslate, std::nullopt);
        rig.app.settings().setHotkey(SettingKey::hkTalk, menuAlone);
        pressTalk(rig, altSpace);
        releaseTalk(rig, altSpace);
        QVERIFY(rig.log.entries.isEmpty());
        pressTalk(rig, menuAlone);
        rig.fake.clock.advance(std::chrono::milliseconds(100));
        releaseTalk(rig, menuAlone);
        rig.altTap(keyT);
        QCOMPARE(rig.log.entries, QStringList{"start"});
        QCOMPARE(rig.purpose(), RecordingPurpose::dictate());
        QCOMPARE(rig.app.state().historyVersion(), version);
    }
};

MURMO_TEST(TestHotkeyWiring)
#include "tst_HotkeyWiring.moc"
