#include "app/controller/DictationStatus.h"
#include "app/controller/Recording.h"
#include "core/account/SupabaseAuth.h"
#include "core/audio/AudioStorage.h"
#include "core/audio/TakeJournal.h"
#include "tests/app/flows/FlowRig.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// The recording start and its limits, the cancel, and the texts of the status line.
class TestRecording : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void limitsRunOnTheClock_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("warnAtS");
        QTest::newRow("8 minutes") << 8 << 420;
        // One minute warns at once and stops at 60 s.
        QTest::newRow("1 minute") << 1 << 0;
    }

    void limitsRunOnTheClock()
    {
        QFETCH(int, minutes);
        QFETCH(int, warnAtS);
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::maxRecordMinutes, minutes);
        QSignalSpy status(&rig.state(), &AppState::statusLineChanged);
        rig.record(16000);
        const QString warning = QStringLiteral("还有 1 分钟到录音上限…");
        if (warnAtS > 0) {
            rig.fake.clock.advance(milliseconds(warnAtS * 1000 - 1));
            QVERIFY(rig.overlay().partial() != warning);
            rig.fake.clock.advance(1ms);
        } else {
            rig.fake.clock.advance(0ms);
        }
        QCOMPARE(rig.overlay().partial(), warning);
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listening);

        rig.fake.clock.advance(milliseconds((minutes * 60 - warnAtS) * 1000 - 1));
        QVERIFY(rig.state().isRecording());
        rig.fake.clock.advance(1ms);
        QVERIFY(!rig.state().isRecording());
        const QString limit = QStringLiteral("已录满 %1 分钟，自动结束并识别").arg(minutes);
        bool sawLimit = false;
        for (const QList<QVariant>& change : status)
            sawLimit = sawLimit || change.first().toString() == limit;
        QVERIFY(sawLimit);
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
    }

    // A stop ends the limits: nothing fires into the next idle time.
    void stopCancelsTheLimitTimers()
    {
        FlowRig rig(false);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        const QString done = rig.state().statusLine();
        rig.fake.clock.advance(9min);
        QCOMPARE(rig.state().statusLine(), done);
    }

    void signInGateStopsBeforeAnything()
    {
        FlowRig rig(true, true);
        runTask(rig.app->session().load());
        const quint64 generation = rig.state().generation();
        rig.recording().start();
        QVERIFY(rig.state().showLoginGate());
        QVERIFY(!rig.state().isRecording());
        QCOMPARE(rig.state().generation(), generation);
        QVERIFY(rig.fake.soundOutput.made().empty());
        QVERIFY(!rig.fake.audioInput.isStarted());
    }

    // A hotkey pressed before the keyring has answered waits for it (within a bound) instead of
    // asking a signed-in user to sign in.
    void earlyStartWaitsForTheKeyringsSession_data()
    {
        QTest::addColumn<bool>("keyringAnswers");
        QTest::newRow("keyring answers") << true;
        QTest::newRow("keyring silent past the bound") << false;
    }

    void earlyStartWaitsForTheKeyringsSession()
    {
        QFETCH(bool, keyringAnswers);
        FlowRig rig(false, true);
        SupabaseAuth::TokenPair pair;
        pair.accessToken = QStringLiteral("jwt");
        pair.refreshToken = QStringLiteral("refresh");
        pair.expiresAt = QDateTime::currentDateTimeUtc().addSecs(3600);
        pair.email = QStringLiteral("a@example.com");
        rig.fake.secrets.setItem(QStringLiteral("com.kelto.murmo.session"), QStringLiteral("supabase"), pair.toJson());
        rig.fake.secrets.holdReads();
        auto loading = rig.app->session().load();

        rig.recording().start();
        QVERIFY(!rig.state().showLoginGate());
        QVERIFY(!rig.state().isRecording());
        if (keyringAnswers) {
            rig.fake.secrets.releaseReads();
            QVERIFY(FlowRig::until([&] { return rig.state().isRecording(); }));
            QVERIFY(!rig.state().showLoginGate());
        } else {
            rig.fake.clock.advance(Recording::kSessionWait);
            QVERIFY(FlowRig::until([&] { return rig.state().showLoginGate(); }));
            QVERIFY(!rig.state().isRecording());
            rig.fake.secrets.releaseReads();
        }
        runTask(std::move(loading));
    }

    void startWhileRecordingChangesNothing()
    {
        FlowRig rig(false);
        rig.recording().start();
        const quint64 generation = rig.state().generation();
        rig.recording().start(RecordingPurpose::rewrite(QStringLiteral("sel")));
        QVERIFY(rig.state().isRecording());
        QCOMPARE(rig.state().generation(), generation);
        QCOMPARE(rig.recording().purpose(), RecordingPurpose::dictate());
    }

    void microphoneFailureLeavesTheControllerIdle()
    {
        FlowRig rig;
        rig.fake.audioInput.failNextStart(QStringLiteral("设备忙"));
        rig.recording().start(RecordingPurpose::translate());
        QVERIFY(!rig.state().isRecording());
        QVERIFY(rig.state().statusLine().startsWith(QStringLiteral("麦克风启动失败：")));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
        QVERIFY(!rig.recording().streamingSession());
        QCOMPARE(rig.recording().purpose(), RecordingPurpose::dictate());
        rig.fake.clock.advance(10min);
        QVERIFY(!rig.state().isRecording());
    }

    // A microphone that takes its time to open: the key is answered at once, and whatever comes
    // meanwhile (a stop, a cancel and the next start, a refusal) follows once it has opened.
    void slowMicrophoneHoldsNothingUp_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("nothing") << QString();
        QTest::newRow("a stop") << QStringLiteral("stop");
        QTest::newRow("a cancel and the next start") << QStringLiteral("cancel");
        QTest::newRow("a refusal") << QStringLiteral("refusal");
    }

    void slowMicrophoneHoldsNothingUp()
    {
        QFETCH(QString, meanwhile);
        FlowRig rig(false);
        rig.fake.audioInput.holdOpens(true);
        if (meanwhile == QLatin1String("refusal"))
            rig.fake.audioInput.failNextStart(QStringLiteral("设备忙"));
        rig.recording().start();
        QVERIFY(rig.state().isRecording());
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listening);
        QCOMPARE(rig.state().statusLine(), RecordingPurpose::dictate().listeningStatus());
        QVERIFY(rig.fake.audioInput.isOpening());
        if (meanwhile == QLatin1String("stop")) {
            rig.recording().stop();
            QVERIFY(rig.state().isRecording());
        } else if (meanwhile == QLatin1String("cancel")) {
            rig.recording().cancel();
            QVERIFY(!rig.state().isRecording());
            rig.recording().start();
            QVERIFY(rig.state().isRecording());
        }
        rig.fake.audioInput.openHeld();

        if (meanwhile == QLatin1String("stop")) {
            QVERIFY(FlowRig::until([&] { return !rig.state().isRecording(); }));
            QCOMPARE(rig.state().statusLine(), Recording::kTooShort);
            QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
            QVERIFY(!rig.fake.audioInput.isStarted());
            return;
        }
        if (meanwhile == QLatin1String("refusal")) {
            QVERIFY(FlowRig::until([&] { return !rig.state().isRecording(); }));
            QVERIFY(rig.state().statusLine().startsWith(QStringLiteral("麦克风启动失败：设备忙")));
            QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
            return;
        }
        QVERIFY(FlowRig::until([&] { return !rig.app->recorder().isOpening(); }));
        QVERIFY(rig.state().isRecording());
        rig.fake.audioInput.deliver(std::vector<float>(16000, 0.1f));
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QCOMPARE(rig.app->history().all().size(), 1);
    }

    // The fake desktop answers at once, before the start has finished: the read must still be
    // kept for the styling prompt, and reach the dictation.
    void screenContextThatAnswersAtOnceIsKept()
    {
        FlowRig rig(false);
        rig.fake.workspace.titles.insert(FlowRig::kEditorPid, QStringLiteral("notes.txt - gedit"));
        rig.fake.accessibility.addFocusedField(QStringLiteral("draft about Kubernetes"));
        rig.recording().start();
        QVERIFY(FlowRig::until([&] { return rig.recording().scene().screen.has_value(); }, 2000));
        QCOMPARE(rig.recording().scene().screen->windowTitle, QStringLiteral("notes.txt - gedit"));
        QCOMPARE(rig.recording().scene().screen->nearbyText, QStringLiteral("draft about Kubernetes"));
        rig.fake.audioInput.deliver(std::vector<float>(16000, 0.1f));
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        // The context went into the styling request.
        const QList<RecordedRequest> styling = rig.fake.gateway.requestsTo(QStringLiteral("/v1/style"));
        QCOMPARE(styling.size(), 1);
        QVERIFY(QString::fromUtf8(styling.first().body).contains(QStringLiteral("Kubernetes")));
    }

    void lateScreenContextIsDropped_data()
    {
        QTest::addColumn<bool>("nextRecording");
        QTest::newRow("after its recording ended") << false;
        QTest::newRow("after the next recording began") << true;
    }

    void lateScreenContextIsDropped()
    {
        QFETCH(bool, nextRecording);
        FlowRig rig(false);
        rig.fake.accessibility.addFocusedField(QStringLiteral("draft"));
        rig.fake.accessibility.holdFocusedElement = true;
        rig.fake.workspace.titles.insert(FlowRig::kEditorPid, QStringLiteral("first"));
        rig.recording().start();
        rig.recording().cancel();
        if (nextRecording) {
            rig.fake.workspace.titles.insert(FlowRig::kEditorPid, QStringLiteral("second"));
            rig.recording().start();
        }
        // The newer read answers first, the older one after it.
        rig.fake.accessibility.releaseFocusedElement();
        QVERIFY(FlowRig::until([&] {
            return rig.fake.accessibility.requests.count(QStringLiteral("read value #0")) == (nextRecording ? 2 : 1);
        }));
        FlowRig::until([] { return false; }, 100);
        if (!nextRecording) {
            QVERIFY(!rig.recording().scene().screen);
            return;
        }
        QVERIFY(rig.recording().scene().screen);
        QCOMPARE(rig.recording().scene().screen->windowTitle, QStringLiteral("second"));
    }

    void startsForItsPurpose()
    {
        FlowRig rig(false);
        rig.recording().start(RecordingPurpose::ask());
        QCOMPARE(rig.state().statusLine(), QStringLiteral("正在聆听…（提问）"));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listeningAsk);
        QCOMPARE(rig.recording().purpose(), RecordingPurpose::ask());
    }

    // Ducking waits 0.18 s, so a tap of the key leaves the volume alone.
    void duckingWaitsForTheRecordingToLast_data()
    {
        QTest::addColumn<int>("stopAfterMs");
        QTest::addColumn<bool>("ducked");
        QTest::newRow("stopped at 0.1 s") << 100 << false;
        QTest::newRow("still recording at 0.2 s") << 200 << true;
    }

    void duckingWaitsForTheRecordingToLast()
    {
        QFETCH(int, stopAfterMs);
        QFETCH(bool, ducked);
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::duckOthers, true);
        rig.record(16000);
        rig.fake.clock.advance(milliseconds(stopAfterMs));
        if (ducked)
            QVERIFY(FlowRig::until([&] { return !rig.fake.outputVolume.changes.isEmpty(); }));
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QCOMPARE(rig.fake.outputVolume.changes.isEmpty(), !ducked);
        QCOMPARE(rig.fake.outputVolume.volumes.value(QStringLiteral("speakers")), 0.8f);
    }

    void quittingWhileDuckedGivesTheVolumeBack()
    {
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::duckOthers, true);
        rig.record(16000);
        rig.fake.clock.advance(200ms);
        QVERIFY(FlowRig::until([&] { return rig.fake.outputVolume.changes.size() == 1; }));
        rig.controller.reset();
        // The ducker's thread records the request before it sets the volume.
        QVERIFY(FlowRig::until([&] {
            return rig.fake.outputVolume.changes.size() == 2 &&
                   rig.fake.outputVolume.volumes.value(QStringLiteral("speakers")) == 0.8f;
        }));
    }

    // Quitting mid-recording keeps what was said as a failed entry with its recording, for a
    // retry; a take too short to hold speech leaves nothing.
    void quittingKeepsTheTakeForARetry_data()
    {
        QTest::addColumn<qsizetype>("samples");
        QTest::newRow("a second") << qsizetype(16000);
        QTest::newRow("too short") << qsizetype(1600);
    }

    void quittingKeepsTheTakeForARetry()
    {
        QFETCH(qsizetype, samples);
        FlowRig rig(false);
        rig.record(samples);
        rig.controller.reset();
        const QList<HistoryEntry> kept = rig.app->history().all();
        if (samples <= Recording::kTooShortSamples) {
            QVERIFY(kept.isEmpty());
            return;
        }
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.first().finalText, HistoryEntry::kFailedText);
        const std::optional<QString> audio = rig.app->history().audioURL(kept.first());
        QVERIFY(audio);
        QVERIFY(qAbs(qsizetype(AudioStorage::readSamples(*audio).size()) - samples) < 1000);
    }

    // A take the program was recording when it was killed is on disk: the next start files it as
    // a failed entry with its recording, at the time it was made.
    void aTakeLeftByAKillIsKeptAtTheNextStart()
    {
        FlowRig rig(false);
        rig.record(16000);
        const QString recordings = rig.app->history().recordingsDir();
        const QStringList journals = TakeJournal::leftIn(recordings);
        QCOMPARE(journals.size(), 1);
        const QString left = recordings + QStringLiteral("/left") + TakeJournal::kSuffix;
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(journals.first()).size() >= 16 + 16000 * qint64(sizeof(qint16)), kWaitMs);
        QVERIFY(QFile::copy(journals.first(), left));
        rig.recording().cancel();
        QVERIFY(!QFile::exists(journals.first()));

        rig.controller = std::make_unique<DictationController>(*rig.app, Migrations::FnKeySystem{}, QUrl());
        QVERIFY(FlowRig::until([&] { return rig.app->history().all().size() == 1; }));
        const HistoryEntry kept = rig.onlyEntry();
        QCOMPARE(kept.finalText, HistoryEntry::kFailedText);
        const std::optional<QString> audio = rig.app->history().audioURL(kept);
        QVERIFY(audio);
        QVERIFY(qAbs(qsizetype(AudioStorage::readSamples(*audio).size()) - 16000) < 1000);
        // Let go of once the entry and its recording are on disk.
        QVERIFY(FlowRig::until([&] { return !QFile::exists(left); }));
    }

    // Levels reach the capsule's waveform through one queued call, however many buffers came.
    void levelsReachTheWaveform()
    {
        FlowRig rig(false);
        rig.recording().start();
        rig.overlay().levelSample = 0.0f;
        for (int i = 0; i < 20; ++i)
            rig.fake.audioInput.deliverSine(0.05, 0.05f + 0.02f * float(i), 800);
        QCOMPARE(rig.overlay().levelSample, 0.0f);
        QCoreApplication::processEvents();
        QVERIFY(rig.overlay().levelSample > 0.0f);
        const float last = rig.overlay().levelSample;
        QCoreApplication::processEvents();
        QCOMPARE(rig.overlay().levelSample, last);
    }

    void cancelAbandonsTheTake()
    {
        FlowRig rig;
        rig.record(16000);
        const quint64 generation = rig.state().generation();
        rig.recording().cancel();
        QVERIFY(!rig.state().isRecording());
        QCOMPARE(rig.state().generation(), generation + 1);
        QCOMPARE(rig.state().statusLine(), QStringLiteral("已取消 · ") + rig.state().readyStatusLine());
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::cancelled);
        QVERIFY(rig.streaming.waitForDisconnect());
        QCOMPARE(rig.streaming.closeCode(), std::optional<int>(1001));
        QCoreApplication::processEvents();
        QVERIFY(rig.app->history().all().isEmpty());
    }

    void secondsIgnoreTheLocale_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("250 rounds to even") << 250 << QStringLiteral("0.2");
        QTest::newRow("1234") << 1234 << QStringLiteral("1.2");
        QTest::newRow("860") << 860 << QStringLiteral("0.9");
        QTest::newRow("0") << 0 << QStringLiteral("0.0");
        QTest::newRow("12345") << 12345 << QStringLiteral("12.3");
    }

    void secondsIgnoreTheLocale()
    {
        QFETCH(int, ms);
        QFETCH(QString, text);
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        const std::string saved = previous ? previous : "C";
        // A comma-decimal locale, when the system has one, must not change the text.
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        const QString shown = DictationStatus::seconds(ms);
        std::setlocale(LC_NUMERIC, saved.c_str());
        QCOMPARE(shown, text);
    }

    void successLine()
    {
        QCOMPARE(DictationStatus::success(QStringLiteral("正式"), true, 1234, 860),
                 QStringLiteral("✓ 正式 → 英文 · 识别 1.2s · 整理 0.9s"));
        QCOMPARE(DictationStatus::success(QStringLiteral("口语"), false, 250, 0),
                 QStringLiteral("✓ 口语 · 识别 0.2s · 整理 0.0s"));
    }
};

MURMO_TEST(TestRecording)
#include "tst_Recording.moc"
