#include "app/controller/AppServices.h"
#include "app/controller/DictationController.h"
#include "app/feedback/QtOverlayScreens.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "tests/app/controller/LoopbackOptions.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/app/desktop/insertion_x11/FieldHelper.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/FakeServices.h"
#include "tests/support/FakeStreamingGateway.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Without a final full stop, which the default preferences drop.
const QString kSentence = QStringLiteral("Hello from the microphone");

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

// One dictation through the whole program over the real adapters: spoken into the virtual
// microphone, recognised by the gateway on loopback, typed into another application's field and
// filed in the history with its recording.
class TestDictationOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spokenSentenceArrivesInTheFrontApplication()
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QSKIP("needs the headless desktop (scripts/with-desktop)");
        QTemporaryDir dir;
        const QString speech = dir.filePath(QStringLiteral("speech.wav"));
        QVERIFY(run(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), speech, kSentence}));

        // The gateway answers with the words it was sent: the fake cannot listen, so it is told.
        FakeGateway gateway;
        gateway.setReply("POST", QStringLiteral("/v1/asr"), FakeReply::json({{QStringLiteral("text"), kSentence}}));
        gateway.setReply("POST", QStringLiteral("/v1/style"), FakeReply::json({{QStringLiteral("text"), kSentence}}));
        FakeStreamingGateway streaming;
        streaming.queueTranscript(kSentence);
        HttpTransport transport;

        DesktopPorts desktop;
        QVERIFY2(desktop.isUsable(), "needs the headless desktop (scripts/with-desktop)");
        FieldHelper helper(QStringLiteral("MurmoDictationTarget"), QStringLiteral("Dictation target"));
        QVERIFY(desktop.bringToFront(helper, QStringLiteral("line")));

        LinuxAdapters adapters;
        QtOverlayScreens screens;
        const AppServices::Options options = loopbackOptions(dir, gateway, transport);
        AppServices app(adapters.ports(), screens, options);
        app.settings().setValue(SettingKey::gatewayToken, QStringLiteral("device-token"));
        app.settings().setValue(SettingKey::currentModeId, QStringLiteral("casual"));
        DictationController controller(app, Migrations::FnKeySystem{}, streaming.baseUrl());

        controller.recording().start();
        QVERIFY(app.state().isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(streaming.connected(), kWaitMs);
        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), speech});
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, 30000);
        // The speaker stops once the sentence has reached the gateway.
        QTRY_VERIFY_WITH_TIMEOUT(streaming.audioSamples() > 16000, kWaitMs);
        controller.recording().stop();

        QTRY_COMPARE_WITH_TIMEOUT(helper.value(QStringLiteral("line")), kSentence, kWaitMs);
        // The text goes in as soon as it is ready; the history follows once the take is saved.
        QTRY_COMPARE_WITH_TIMEOUT(app.history().all().value(0).finalText, kSentence, kWaitMs);
        const QList<HistoryEntry> entries = app.history().all();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().finalText, kSentence);
        const std::optional<QString> audio = app.history().audioURL(entries.first());
        QVERIFY(audio);
        QVERIFY(audio->endsWith(QStringLiteral(".ogg")));
        QVERIFY(QFile(*audio).size() > 1000);
    }
};

MURMO_TEST(TestDictationOnDesktop)
#include "tst_DictationOnDesktop.moc"
