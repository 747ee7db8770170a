#include "core/store/HistoryStore.h"
#include "tests/app/flows/FlowRig.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <optional>

// A take recorded while the disk is full.
class TestFullDiskTake : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Its recording cannot be written, yet a failed recognition can be retried from the audio the
    // history holds, and the recording reaches the disk once there is room.
    void aFailedTakeIsRetriedFromTheAudioHeld()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::raw("upstream down", 500));
        std::optional<FileSizeLimit> full(std::in_place);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("识别失败：")));
        QVERIFY(!rig.onlyEntry().audioFileName);

        rig.fake.gateway.setReply("POST", FlowRig::kAsr,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}));
        Q_EMIT rig.app->overlay().retryRequested();
        QVERIFY(rig.settledOn(QStringLiteral("✓ 重试成功")));
        QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);

        full.reset();
        HistoryStore& history = rig.app->history();
        history.saveAgain();
        QVERIFY(history.flush());
        QVERIFY(history.audioURL(rig.onlyEntry()));
    }
};

MURMO_TEST(TestFullDiskTake)
#include "tst_FullDiskTake.moc"
