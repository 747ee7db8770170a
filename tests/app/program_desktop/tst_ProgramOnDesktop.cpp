#include "app/controller/Migrations.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StoreSaving.h"
#include "tests/app/desktop/hotkeys_x11/XTestKeyboard.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/app/desktop/insertion_x11/FieldHelper.h"
#include "tests/app/launch_desktop/AccessibleButtons.h"
#include "tests/app/program_desktop/MurmoProcess.h"
#include "tests/app/program_desktop/XTestPointer.h"
#include "tests/support/BuildTree.h"
#include "tests/support/FakeServices.h"
#include "tests/support/FakeStreamingGateway.h"
#include "tests/support/TestRegistry.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Without a final full stop, which the casual mode drops.
const QString kSentence = QStringLiteral("Hello from the microphone");
const QString kUserClipboard = QStringLiteral("what the user had copied");
constexpr int kStepMs = 20000;

QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The left channel of the sink the desktop plays into, in percent; -1 when unknown.
int sinkVolume()
{
    const QString volume = output(QStringLiteral("pactl"), {QStringLiteral("get-sink-volume"), QStringLiteral("out")});
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("(\\d+)%")).match(volume);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

// The murmo program as a person meets it: started in the headless desktop, a text window of
// another application in front, keys pressed on the keyboard, words spoken into the microphone,
// the recognition service on loopback.
class TestProgramOnDesktop : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_speech;
    // Only the workspace: the AT-SPI reads of what murmo shows must be the process's one user
    // of libatspi.
    std::unique_ptr<X11Workspace> m_workspace;
    std::unique_ptr<XTestKeyboard> m_keyboard;
    std::unique_ptr<XTestPointer> m_pointer;
    std::unique_ptr<FakeGateway> m_gateway;
    std::unique_ptr<FieldHelper> m_helper;
    std::unique_ptr<MurmoProcess> m_murmo;

    // Starts murmo and waits for it to finish its start (it then talks to the gateway, after
    // arming its hotkeys), then puts the helper's field in front with the user's clipboard set.
    void startMurmo(QVariantMap settings)
    {
        settings.insert(QStringLiteral("didOnboard"), true);
        // Recognition in one piece after the recording, unless a test serves streaming: the user
        // turned it off after the program's one-time switch to it.
        settings.insert(QStringLiteral("didForceAutoEngineV11"), true);
        if (!settings.contains(QStringLiteral("useStreaming")))
            settings.insert(QStringLiteral("useStreaming"), false);
        settings.insert(QStringLiteral("currentModeId"), QStringLiteral("casual"));
        m_murmo = std::make_unique<MurmoProcess>(m_gateway->baseUrl(), settings);
        QVERIFY(m_murmo->start());
        QTRY_VERIFY_WITH_TIMEOUT(!m_gateway->requests().isEmpty(), kStepMs);
        // Its window comes up at start; the user then goes back to the text they were writing.
        QTRY_VERIFY_WITH_TIMEOUT(m_workspace->frontApplication().has_value() &&
                                     m_workspace->frontApplication()->pid == m_murmo->pid(),
                                 kStepMs);
        QVERIFY(m_helper->set(QStringLiteral("line"), QString()));
        QVERIFY(m_helper->copy(kUserClipboard));
        QVERIFY(DesktopPorts::bringToFront(*m_workspace, *m_helper, QStringLiteral("line")));
    }

    void startRecording()
    {
        tap("Menu");
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->isCapturing(), kStepMs);
    }

    // Alt with key, a moment into the recording, as a person reaches for a switch key after
    // the talk key.
    void switchWith(const char* key)
    {
        QTest::qWait(250);
        m_keyboard->press("Alt_L");
        tap(key);
        m_keyboard->release("Alt_L");
    }

    void speakAndStop()
    {
        speak();
        tap("Menu");
    }

    // One take the recogniser answers with a server error, filed as failed.
    void recordWhileTheRecogniserFails()
    {
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("down for maintenance", 500));
        startMurmo({});
        startRecording();
        speakAndStop();
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->history().isEmpty() &&
                                     m_murmo->history().first().finalText == HistoryEntry::kFailedText,
                                 kStepMs);
    }

    // The newest history entry once it is no longer a placeholder; an empty one when none came.
    HistoryEntry settledEntry()
    {
        for (QDeadlineTimer deadline(kStepMs); !deadline.hasExpired(); QTest::qWait(50)) {
            const QList<HistoryEntry> entries = m_murmo->history();
            if (!entries.isEmpty() && !HistoryEntry::isPlaceholder(entries.first().finalText))
                return entries.first();
        }
        return {};
    }

    // Ends ("stop") or starts ("start") the desktop's sound server, as scripts/with-desktop runs it.
    static QString soundServerScript()
    {
        return BuildTree::cacheValue(QStringLiteral("CMAKE_HOME_DIRECTORY")) + QStringLiteral("/scripts/desktop-sound");
    }
    static bool soundServer(const char* step)
    {
        return QProcess::execute(soundServerScript(), {QString::fromLatin1(step)}) == 0;
    }

    // Whether a text murmo shows (the status line among them) contains words.
    bool shows(const QString& words) const
    {
        const QStringList texts = AccessibleButtons::showingTexts(m_murmo->pid());
        return std::any_of(texts.cbegin(), texts.cend(), [&](const QString& text) { return text.contains(words); });
    }

    // The field holds exactly field, and the clipboard is the user's again.
    void verifyFieldAndClipboard(const QString& field)
    {
        QCOMPARE(m_helper->value(QStringLiteral("line")), field);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_helper->command(QStringLiteral("clipboard")).value(QStringLiteral("text")).toString(), kUserClipboard,
            kStepMs);
    }

    // A key as a person taps it: down for a tenth of a second, shorter taps count as a bounce.
    void tap(const char* key)
    {
        m_keyboard->press(key);
        QTest::qWait(100);
        m_keyboard->release(key);
    }

    void speak()
    {
        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), m_speech});
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, kStepMs);
        QCOMPARE(player.exitCode(), 0);
        QTest::qWait(300); // the last words reach the recorder through the sound server
    }

    // The take went to the recogniser in one piece after the recording.
    void verifySpeechSent()
    {
        const QList<RecordedRequest> asr = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(asr.size(), 1);
        QVERIFY2(asr.first().body.size() > 16000, "a second of speech or more was sent");
    }

    // The dictation reached the user: text at the cursor, the clipboard as it was, the take
    // filed with its recording.
    void verifyDictationLanded()
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence, kStepMs);
        verifyFieldAndClipboard(kSentence);
        // The text goes in first; the take's entry, saved as recognising meanwhile, gets it after.
        const HistoryEntry entry = settledEntry();
        QCOMPARE(entry.finalText, kSentence);
        QCOMPARE(m_murmo->history().size(), 1);
        const QString recording = m_murmo->recordingPath(entry);
        QVERIFY(recording.endsWith(QStringLiteral(".ogg")));
        QVERIFY(QFileInfo(recording).size() > 1000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QSKIP("needs the headless desktop (scripts/with-desktop)");
        QVERIFY2(QFileInfo(MurmoProcess::programPath()).isExecutable(), "build the murmo target first");
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QVERIFY(output(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), m_speech, kSentence}).isEmpty() &&
                QFileInfo(m_speech).size() > 16000);
        m_workspace = std::make_unique<X11Workspace>();
        QVERIFY2(m_workspace->isConnected(), "needs the headless desktop (scripts/with-desktop)");
        m_keyboard = std::make_unique<XTestKeyboard>();
        QVERIFY(m_keyboard->isOpen());
        m_pointer = std::make_unique<XTestPointer>();
        QVERIFY(m_pointer->isOpen());
        m_helper = std::make_unique<FieldHelper>(QStringLiteral("MurmoProgramTarget"), QStringLiteral("Letter"));
        QVERIFY(m_helper->isReady());
    }

    void init()
    {
        m_gateway = std::make_unique<FakeGateway>();
        // The fake cannot listen or write, so it is told what it heard and how it tidied it.
        // It answers at once, so the text is often ready while the key that stopped the
        // recording is still down.
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), FakeReply::json({{QStringLiteral("text"), kSentence}}));
        m_gateway->setReply("POST", QStringLiteral("/v1/style"),
                            FakeReply::json({{QStringLiteral("text"), kSentence}}));
    }

    void cleanup()
    {
        if (m_murmo && m_murmo->isRunning())
            QVERIFY(m_murmo->quit());
        m_murmo.reset(); // kills it when it would not quit
        m_gateway.reset();
    }

    void cleanupTestCase() { m_helper.reset(); }

    void toggleDictation()
    {
        startMurmo({});
        startRecording();
        speakAndStop();
        verifyDictationLanded();
        verifySpeechSent();
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->isCapturing(), kStepMs);
    }

    // The default road: the words stream to the gateway while they are spoken.
    void streamingDictation()
    {
        FakeStreamingGateway streaming;
        streaming.queueTranscript(kSentence);
        m_gateway->serveStreaming(streaming);
        startMurmo({{QStringLiteral("useStreaming"), true}});
        startRecording();
        speakAndStop();
        verifyDictationLanded();
        QVERIFY2(streaming.audioSamples() > 16000, qPrintable(streaming.messageTypes().join(u' ')));
        QCOMPARE(streaming.countOf(QStringLiteral("input_audio_buffer.commit")), 1);
    }

    // The gateway stops taking the token this computer registered for: the next dictation
    // registers it again and still lands.
    void aRevokedDeviceTokenIsReplacedMidSession()
    {
        const QString registerPath = QStringLiteral("/v1/register");
        startMurmo({});
        // The token came from a registration at this start (its first request), or from the
        // desktop's keyring, where an earlier start left it, maybe one this test had issued:
        // every token but the one issued from now on is refused.
        const qsizetype registered = m_gateway->requestsTo(registerPath).size();
        const QString issued = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_gateway->setReply("POST", registerPath, FakeReply::json({{QStringLiteral("token"), issued}}));
        const QByteArray accepted = "Bearer " + issued.toUtf8();
        for (const QString& path : {QStringLiteral("/v1/asr"), QStringLiteral("/v1/style")}) {
            m_gateway->setHandler("POST", path, [accepted](const RecordedRequest& request) {
                if (request.header("Authorization") != accepted)
                    return FakeReply::raw("revoked", 401);
                return FakeReply::json({{QStringLiteral("text"), kSentence}});
            });
        }
        startRecording();
        speakAndStop();
        verifyDictationLanded();
        QCOMPARE(m_gateway->requestsTo(registerPath).size(), registered + 1);
        const QList<RecordedRequest> asr = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(asr.size(), 2);
        QCOMPARE(asr.last().header("Authorization"), accepted);
    }

    void holdDictation()
    {
        startMurmo({{QStringLiteral("recordTrigger"), QStringLiteral("hold")}});
        m_keyboard->press("Menu");
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->isCapturing(), kStepMs);
        speak();
        m_keyboard->release("Menu");
        verifyDictationLanded();
        verifySpeechSent();
    }

    // Hold-to-talk, back to back: the next hold starts before the first text is in. The first
    // text goes in once that key is let go, then the second, and the clipboard is the user's.
    void backToBackHoldsTypeBothTextsInOrder()
    {
        const QString second = QStringLiteral("And one more thought");
        // The first text is ready a second after its hold, in the middle of the next one.
        for (const QString& path : {QStringLiteral("/v1/asr"), QStringLiteral("/v1/style")}) {
            m_gateway->queueReply("POST", path, FakeReply::json({{QStringLiteral("text"), kSentence}}).after(500ms));
            m_gateway->setReply("POST", path, FakeReply::json({{QStringLiteral("text"), second}}));
        }
        startMurmo({{QStringLiteral("recordTrigger"), QStringLiteral("hold")}});
        m_keyboard->press("Menu");
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->isCapturing(), kStepMs);
        speak();
        m_keyboard->release("Menu");
        // The next hold starts as soon as the first take is on its way, well before its text.
        QTRY_COMPARE_WITH_TIMEOUT(m_gateway->requestsTo(QStringLiteral("/v1/asr")).size(), 1, kStepMs);
        m_keyboard->press("Menu");
        speak();
        m_keyboard->release("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence + second, kStepMs);
        verifyFieldAndClipboard(kSentence + second);
        QCOMPARE(m_gateway->requestsTo(QStringLiteral("/v1/asr")).size(), 2);
    }

    void escapeCancels()
    {
        startMurmo({});
        startRecording();
        speak();
        tap("Escape");
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->isCapturing(), kStepMs);
        QCOMPARE(m_helper->value(QStringLiteral("line")), QString());
        // The next dictation lands alone: the cancelled take was neither sent nor filed.
        startRecording();
        speakAndStop();
        verifyDictationLanded();
        verifySpeechSent();
    }

    // The recogniser fails: the take is kept with its recording for a retry, nothing is typed.
    void aFailedRecognitionKeepsTheRecording()
    {
        recordWhileTheRecogniserFails();
        QVERIFY(QFileInfo(m_murmo->recordingPath(m_murmo->history().first())).size() > 1000);
        verifyFieldAndClipboard(QString());
    }

    // The sound server goes away mid-take: the program says so at once, types what it heard and
    // files it as cut where it was; once the server is back, the next take is a whole one.
    void aSoundServerThatGoesAwayCutsTheTake()
    {
        startMurmo({});
        startRecording();
        speak();
        QVERIFY(soundServer("stop"));
        // A session's sound server is back within moments, as Qt's sound client expects: it tries
        // the server once more a few seconds after losing it, and not again. It comes back while
        // the program tells the cut.
        QProcess restart;
        restart.start(soundServerScript(), {QStringLiteral("start")});
        // Told within moments, not at the stop the user would otherwise wait for.
        QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("麦克风已停止")), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence, kStepMs);
        const HistoryEntry cut = settledEntry();
        QCOMPARE(cut.finalText, kSentence);
        QVERIFY2(cut.cutAt && *cut.cutAt > 1.0, "the entry says where the take was cut");
        QTRY_VERIFY_WITH_TIMEOUT(shows(HistoryEntry::cutText(*cut.cutAt) + QStringLiteral(" · ")), kStepMs);

        // Already ended, as a rule, while the cut was told.
        restart.waitForFinished(60000);
        QVERIFY(restart.state() == QProcess::NotRunning && restart.exitStatus() == QProcess::NormalExit &&
                restart.exitCode() == 0);
        // The program's sound client finds the server again in its own time: the user tries
        // again until the microphone opens.
        bool capturing = false;
        for (QDeadlineTimer deadline(60000); !capturing && !deadline.hasExpired();) {
            tap("Menu");
            capturing = QTest::qWaitFor([this] { return m_murmo->isCapturing(); }, 5000);
        }
        QVERIFY(capturing);
        speakAndStop();
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence + kSentence, kStepMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_murmo->history().size(), 2, kStepMs);
        QVERIFY(!settledEntry().cutAt);
    }

    // A question: the answer shows in the card, nothing is typed, the history keeps it as one.
    void askShowsTheAnswerInTheCard()
    {
        const QString answer = QStringLiteral("It is Monday");
        m_gateway->setReply("POST", QStringLiteral("/v1/ask"), FakeReply::json({{QStringLiteral("text"), answer}}));
        // The window manager here holds Alt+Space, the ask key's default, for its window menu: the
        // user picks another key, as the settings suggest.
        startMurmo({{QStringLiteral("didSeedChordKeysV5"), true},
                    {QStringLiteral("hkAsk"), encodeHotkey(Migrations::Hotkeys::altA)}});
        startRecording();
        switchWith("a");
        speakAndStop();
        QTRY_VERIFY_WITH_TIMEOUT(AccessibleButtons::showingTexts(m_murmo->pid()).contains(answer), kStepMs);
        const QList<RecordedRequest> asks = m_gateway->requestsTo(QStringLiteral("/v1/ask"));
        QCOMPARE(asks.size(), 1);
        QVERIFY(asks.first().json().value(QStringLiteral("text")).toString().contains(kSentence));
        const HistoryEntry entry = settledEntry();
        QCOMPARE(entry.action, std::optional<QString>(QStringLiteral("ask")));
        QCOMPARE(entry.asrText, kSentence);
        QCOMPARE(entry.finalText, answer);
        verifyFieldAndClipboard(QString());
    }

    // A rewrite of the selected words: they are replaced, the rest of the line stays.
    void rewriteReplacesTheSelection()
    {
        m_gateway->setReply("POST", QStringLiteral("/v1/ask"),
                            FakeReply::json({{QStringLiteral("text"), QStringLiteral("slow")}}));
        startMurmo({});
        QVERIFY(m_helper->set(QStringLiteral("line"), QStringLiteral("The quick brown fox")));
        QVERIFY(m_helper->select(QStringLiteral("line"), 4, 5));
        startRecording();
        switchWith("r");
        speakAndStop();
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), QStringLiteral("The slow brown fox"),
                                  kStepMs);
        const QList<RecordedRequest> rewrites = m_gateway->requestsTo(QStringLiteral("/v1/ask"));
        QCOMPARE(rewrites.size(), 1);
        const QString request = rewrites.first().json().value(QStringLiteral("text")).toString();
        QVERIFY2(request.contains(kSentence) && request.endsWith(QStringLiteral("quick")), qPrintable(request));
        const HistoryEntry entry = settledEntry();
        QCOMPARE(entry.action, std::optional<QString>(QStringLiteral("rewrite")));
        QCOMPARE(entry.finalText, QStringLiteral("slow"));
        verifyFieldAndClipboard(QStringLiteral("The slow brown fox"));
    }

    // The recogniser is back: a click on the capsule's retry button types the take where it was
    // recorded and settles its history entry.
    void retryFromTheCapsuleAfterAFailure()
    {
        recordWhileTheRecogniserFails();
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), FakeReply::json({{QStringLiteral("text"), kSentence}}));
        // The capsule's own button, named apart from any "重试" of the main window.
        std::optional<QRect> retry;
        QTRY_VERIFY_WITH_TIMEOUT((retry = AccessibleButtons::extents(m_murmo->pid(), QStringLiteral("原地重试"))),
                                 kStepMs);
        m_pointer->click(retry->center());
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence, kStepMs);
        QCOMPARE(m_gateway->requestsTo(QStringLiteral("/v1/asr")).size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_murmo->history().first().finalText, kSentence, kStepMs);
        QCOMPARE(m_murmo->history().size(), 1);
        verifyFieldAndClipboard(kSentence);
    }

    // Key remappers and remote desktops send taps far shorter than a hand's: each one still
    // counts, and none leaves the talk key held.
    void veryShortTapsNeverJamTheTalkKey()
    {
        startMurmo({});
        m_keyboard->press("Menu");
        m_keyboard->release("Menu");
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->isCapturing(), kStepMs);
        speak();
        m_keyboard->press("Menu");
        QTest::qWait(10);
        m_keyboard->release("Menu");
        verifyDictationLanded();
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->isCapturing(), kStepMs);
    }

    // The next dictation's talk key, pressed just as the text of the last one is about to be
    // pasted: the paste waits for the key and lands in the field, not in our own key grab.
    void talkKeyPressedJustBeforeThePaste_data()
    {
        QTest::addColumn<int>("afterStylingMs");
        QTest::newRow("15 ms after the styling answer") << 15;
        QTest::newRow("30 ms") << 30;
        QTest::newRow("45 ms") << 45;
        QTest::newRow("60 ms") << 60;
    }

    void talkKeyPressedJustBeforeThePaste()
    {
        QFETCH(int, afterStylingMs);
        startMurmo({});
        startRecording();
        speakAndStop();
        QDeadlineTimer deadline(kStepMs);
        while (m_gateway->requestsTo(QStringLiteral("/v1/style")).isEmpty() && !deadline.hasExpired())
            QTest::qWait(1);
        QTest::qWait(afterStylingMs);
        m_keyboard->press("Menu");
        QTest::qWait(150);
        m_keyboard->release("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence, kStepMs);
        // The key started the next dictation, which the user then thinks better of.
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->isCapturing(), kStepMs);
        tap("Escape");
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->isCapturing(), kStepMs);
        verifyFieldAndClipboard(kSentence);
    }

    // Quitting or a kill during a recording keeps what was said: after the quit, or at the next
    // start after the kill, the take is in the history with its recording, ready for a retry.
    void quitOrKillDuringARecordingKeepsTheTake_data()
    {
        QTest::addColumn<bool>("kill");
        QTest::newRow("murmo --quit") << false;
        QTest::newRow("killed") << true;
    }

    void quitOrKillDuringARecordingKeepsTheTake()
    {
        QFETCH(bool, kill);
        startMurmo({});
        startRecording();
        speak();
        if (kill) {
            m_murmo->kill();
            QVERIFY(m_murmo->history().isEmpty());
            QVERIFY(m_murmo->start());
        } else {
            QVERIFY(m_murmo->quit());
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_murmo->history().size(), 1, kStepMs);
        const HistoryEntry entry = m_murmo->history().first();
        QCOMPARE(entry.finalText, HistoryEntry::kFailedText);
        QVERIFY(QFileInfo(m_murmo->recordingPath(entry)).size() > 1000);
        QVERIFY(m_gateway->requestsTo(QStringLiteral("/v1/asr")).isEmpty());
    }

    // A text that waits for a held key is in the history file before it goes, which is what the
    // next start reads: a kill or "murmo --quit" meanwhile leaves it there for the user to copy.
    void quitOrKillWhileATextWaitsForAKeyKeepsIt_data()
    {
        QTest::addColumn<bool>("kill");
        QTest::newRow("murmo --quit") << false;
        QTest::newRow("killed") << true;
    }

    void quitOrKillWhileATextWaitsForAKeyKeepsIt()
    {
        QFETCH(bool, kill);
        m_gateway->queueReply("POST", QStringLiteral("/v1/asr"),
                              FakeReply::json({{QStringLiteral("text"), kSentence}}).after(500ms));
        startMurmo({});
        startRecording();
        speakAndStop();
        // A key the program does not watch, down before the text is ready.
        m_keyboard->press("F7");
        QTRY_VERIFY_WITH_TIMEOUT(!m_murmo->history().isEmpty() && m_murmo->history().first().finalText == kSentence,
                                 kStepMs);
        if (kill)
            m_murmo->kill();
        else
            QVERIFY(m_murmo->quit());
        m_keyboard->release("F7");
        QCOMPARE(m_murmo->history().size(), 1);
        QCOMPARE(m_murmo->history().first().finalText, kSentence);
    }

    // "murmo --quit" while the disk refuses the history: the program asks in its window whether
    // to wait for it, and the launch says so and fails, since the program did not quit.
    void quitOnAFullDiskSaysThatTheProgramAsks()
    {
        startMurmo({});
        QVERIFY(m_murmo->fillDisk());
        startRecording();
        speakAndStop();
        QTRY_COMPARE_WITH_TIMEOUT(m_helper->value(QStringLiteral("line")), kSentence, kStepMs);
        // The status line says that the disk refused the take, not only the take's own "✓".
        const auto toldRefused = [this] {
            for (QString text : AccessibleButtons::showingTexts(m_murmo->pid())) {
                text.remove(QLatin1Char('\n'));
                if (text == StoreSaving::kHistory.cannotSave || text == StoreSaving::kLexicon.cannotSave)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(toldRefused(), kStepMs);
        QCOMPARE(m_murmo->launch({QStringLiteral("--quit")}), 1);
        QVERIFY(m_murmo->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(AccessibleButtons::showing(m_murmo->pid()).contains(QuitGuard::kQuitAnyway), kStepMs);
        QVERIFY(AccessibleButtons::press(m_murmo->pid(), QuitGuard::kQuitAnyway));
        QVERIFY(m_murmo->waitForCleanExit());
    }

    void quittingWhileDuckedRestoresTheVolume()
    {
        // A program killed mid-take in an earlier test may have left the sink ducked, in a home
        // of its own that no later program repairs: the volume is set first.
        QCOMPARE(QProcess::execute(QStringLiteral("pactl"),
                                   {QStringLiteral("set-sink-volume"), QStringLiteral("out"), QStringLiteral("80%")}),
                 0);
        const int before = sinkVolume();
        QCOMPARE(before, 80);
        startMurmo({{QStringLiteral("duckOthers"), true}});
        startRecording();
        QTRY_VERIFY_WITH_TIMEOUT(sinkVolume() < before, kStepMs);
        QVERIFY(m_murmo->quit());
        QCOMPARE(sinkVolume(), before);
    }
};

MURMO_TEST(TestProgramOnDesktop)
#include "tst_ProgramOnDesktop.moc"
