#include "app/controller/FailureReport.h"
#include "app/controller/HistoryOperations.h"
#include "tests/app/flows/FlowRig.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FakeReply)

namespace {

FakeReply transcript(const QString& text)
{
    return FakeReply::json({{QStringLiteral("text"), text}});
}

// Lets the inserter's scheduled steps run on the manual clock.
void settleInsertion(FlowRig& rig)
{
    for (int i = 0; i < 40; ++i) {
        rig.fake.clock.advance(50ms);
        QCoreApplication::processEvents();
    }
}

} // namespace

// What the user sees and can do when a dictation fails, and the retries behind the capsule.
class TestDictationFailures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The retry types into the application the failed recording was made for, not into the one
    // in front when the button is pressed.
    void failedRecognitionKeepsTheTakeAndRetriesIntoItsOwnApplication()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));
        QVERIFY(rig.state().statusLine().endsWith(QStringLiteral(" · 录音已保存，可重试")));
        HistoryEntry entry = rig.onlyEntry();
        QCOMPARE(entry.finalText, QStringLiteral("（识别失败 · 点 ↻ 重试）"));
        QCOMPARE(entry.asrText, QString());
        QVERIFY(rig.app->history().audioURL(entry));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
        QCOMPARE(rig.overlay().failKind(), OverlayModel::FailKind::asr);
        QVERIFY(rig.overlay().retryOffered());

        rig.fake.workspace.addApplication(QStringLiteral("kate"), 200, QStringLiteral("Kate"));
        rig.fake.workspace.frontPid = 200;
        rig.fake.workspace.activations.clear();
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(FakeGateway::kTranscript));
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(rig.overlay().retrying());
        QVERIFY(rig.settledOn(QStringLiteral("✓ 重试成功")));
        QVERIFY(!rig.overlay().retrying());
        QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);
        // The saved recording, decoded, went out again.
        QCOMPARE(rig.requestsTo(FlowRig::kAsr), 2);
        settleInsertion(rig);
        QVERIFY(rig.fake.workspace.activations.contains(FlowRig::kEditorPid));
        QVERIFY(!rig.fake.workspace.activations.contains(200));
    }

    // A retry that hears nothing leaves the entry failed; the next one that hears the take fills it.
    void emptyRetryLeavesTheEntryToALaterRetry()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));

        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(QStringLiteral("  ")));
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(rig.settledOn(QStringLiteral("仍未识别到语音")));
        QCOMPARE(rig.onlyEntry().finalText, FailureReport::kFailedText);
        QVERIFY(rig.overlay().retryOffered());

        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(FakeGateway::kTranscript));
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(rig.settledOn(QStringLiteral("✓ 重试成功")));
        QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);
        QVERIFY(rig.onlyEntry().finalText != FailureReport::kFailedText);
    }

    // A retry from the history window that fills the failed take's entry ends the failure: the
    // capsule no longer offers its retry, and a capsule retry already under way types nothing.
    void aRetryFromTheHistoryEndsTheCapsulesFailure_data()
    {
        QTest::addColumn<bool>("capsuleRetryRunning");
        QTest::newRow("capsule offering its retry") << false;
        QTest::newRow("capsule retry under way") << true;
    }

    void aRetryFromTheHistoryEndsTheCapsulesFailure()
    {
        QFETCH(bool, capsuleRetryRunning);
        FlowRig rig(false);
        HistoryOperations history(rig.state(), rig.app->settings(), rig.app->personalData(), rig.app->services(),
                                  rig.app->gateway(), rig.app->overlay(), rig.fake.clock);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));
        QVERIFY(rig.app->overlay().isShowing());
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        if (capsuleRetryRunning) {
            rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(QStringLiteral("胶囊重试的")).heldBack());
            Q_EMIT rig.app->overlay().retryRequested();
            QVERIFY(FlowRig::until([&] { return rig.requestsTo(FlowRig::kAsr) == 2; }));
        }
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(FakeGateway::kTranscript));
        history.retranscribe(rig.onlyEntry());
        QVERIFY(rig.settledOn(QStringLiteral("✓ 已重新识别")));
        const HistoryEntry filled = rig.onlyEntry();
        QCOMPARE(filled.asrText, FakeGateway::kTranscript);
        settleInsertion(rig);
        QVERIFY(!rig.app->overlay().isShowing());

        if (capsuleRetryRunning)
            rig.fake.gateway.releaseHeldReplies();
        else
            Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(FlowRig::until([&] { return !rig.overlay().retrying(); }));
        settleInsertion(rig);
        QVERIFY(inserted.isEmpty());
        QCOMPARE(rig.requestsTo(FlowRig::kAsr), capsuleRetryRunning ? 3 : 2);
        QCOMPARE(rig.onlyEntry().finalText, filled.finalText);
        QVERIFY(!rig.app->overlay().isShowing());
    }

    // A retry that finishes while another recording runs files its text and leaves the capsule,
    // the status line and the clipboard to that recording.
    void retryDuringAnotherRecordingStaysQuiet()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(FakeGateway::kTranscript));
        rig.recording().start();
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        const std::optional<QString> clipboard = rig.fake.clipboard.text();
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(FlowRig::until([&] { return rig.onlyEntry().finalText.contains(FakeGateway::kTranscript); }));
        settleInsertion(rig);
        QVERIFY(inserted.isEmpty());
        QCOMPARE(rig.fake.clipboard.text(), clipboard);
        QCOMPARE(rig.state().statusLine(), QStringLiteral("正在聆听…"));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listening);
    }

    // Styling that fails, or answers nothing, delivers the raw text, says so and offers to restyle.
    void failedStylingDeliversTheRawTextAndRestyles_data()
    {
        QTest::addColumn<FakeReply>("styling");
        QTest::addColumn<QString>("line");
        QTest::newRow("service error") << FakeReply::raw("model busy", 500)
                                       << QStringLiteral("网络不稳，先上了原话 · 可重试整理");
        QTest::newRow("blank answer") << transcript(QStringLiteral(" \n"))
                                      << QStringLiteral("整理没有返回内容，先上了原话 · 可重试整理");
    }

    void failedStylingDeliversTheRawTextAndRestyles()
    {
        QFETCH(FakeReply, styling);
        QFETCH(QString, line);
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kStyle, styling);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(line));
        QCOMPARE(rig.overlay().failKind(), OverlayModel::FailKind::styling);
        QVERIFY(rig.overlay().retryOffered());
        QCOMPARE(rig.onlyEntry().finalText, FakeGateway::kTranscript);
        const int stylingBefore = rig.requestsTo(FlowRig::kStyle);

        rig.fake.gateway.setHandler("POST", FlowRig::kStyle, [](const RecordedRequest&) {
            return FakeReply::json({{QStringLiteral("text"), QStringLiteral("今天，天气不错")}});
        });
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(rig.settledOn(QStringLiteral("✓ 整理好了 · 已复制，按 Ctrl+V 粘贴")));
        QCOMPARE(rig.requestsTo(FlowRig::kStyle), stylingBefore + 1);
        QCOMPARE(rig.requestsTo(FlowRig::kAsr), 1);
        QCOMPARE(rig.onlyEntry().finalText, QStringLiteral("今天，天气不错"));
        QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);
        QCOMPARE(rig.fake.clipboard.text(), std::optional(QStringLiteral("今天，天气不错")));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::done);
    }

    // With its entry gone there is nothing to restyle, but the capsule still ends with the text.
    void failedStylingWithoutEntryFinishesTheCapsule()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kStyle, FakeReply::raw("model busy", 500).heldBack());
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(FlowRig::until(
            [&] { return rig.requestsTo(FlowRig::kStyle) == 1 && rig.app->history().all().size() == 1; }));
        rig.app->history().remove(rig.onlyEntry().id);
        rig.fake.gateway.releaseHeldReplies();
        QVERIFY(rig.settledOn(QStringLiteral("网络不稳，先上了原话")));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::done);
        QCOMPARE(rig.overlay().partial(), FakeGateway::kTranscript);
    }

    // A signed-in user whose token is refused and cannot be renewed is asked to sign in again.
    void refusedCredentialOpensTheSignInGate()
    {
        FlowRig rig(false, true);
        SessionStore& session = rig.app->session();
        session.adopt({QStringLiteral("refused-access"), QStringLiteral("refresh"),
                       QDateTime::currentDateTimeUtc().addSecs(3600), std::nullopt});
        session.load();
        QVERIFY(FlowRig::until([&] { return session.isLoaded(); }));
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("unauthorized", 401));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("请先登录后使用")));
        QVERIFY(rig.state().showLoginGate());
        QCOMPARE(rig.onlyEntry().finalText, FailureReport::kFailedText);
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
        QVERIFY(!rig.overlay().retryOffered());
    }

    void emptyRecognition_data()
    {
        QTest::addColumn<qsizetype>("samples");
        QTest::addColumn<bool>("kept");
        QTest::newRow("0.5 s is silence") << qsizetype(8000) << false;
        QTest::newRow("1 s is kept to retry") << qsizetype(16000) << true;
    }

    void emptyRecognition()
    {
        QFETCH(qsizetype, samples);
        QFETCH(bool, kept);
        FlowRig rig(false);
        // Blank, not empty: an empty answer is already a recognition error of its own.
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, transcript(QStringLiteral("  ")));
        rig.record(samples);
        rig.recording().stop();
        if (!kept) {
            QVERIFY(rig.settledOn(QStringLiteral("未识别到语音")));
            QVERIFY(rig.app->history().all().isEmpty());
            return;
        }
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：识别结果为空")));
        QCOMPARE(rig.onlyEntry().finalText, FailureReport::kFailedText);
        QVERIFY(rig.app->history().audioURL(rig.onlyEntry()));
        QVERIFY(rig.overlay().retryOffered());
    }

    void entryNamesTheRecogniserThatRan()
    {
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::useGateway, false);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));
        QCOMPARE(rig.onlyEntry().providerId, QStringLiteral("qwen"));
    }

    // A failure of a dictation that a newer recording overtook marks its entry but leaves the
    // newer recording's status line alone.
    void staleFailureOnlyMarksTheEntry()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500).after(200ms));
        rig.record(16000);
        rig.recording().stop();
        rig.recording().start();
        QVERIFY(FlowRig::until([&] { return rig.onlyEntry().finalText == FailureReport::kFailedText; }));
        QCOMPARE(rig.state().statusLine(), QStringLiteral("正在聆听…"));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listening);
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(!rig.overlay().retrying());
    }
};

MURMO_TEST(TestDictationFailures)
#include "tst_DictationFailures.moc"
