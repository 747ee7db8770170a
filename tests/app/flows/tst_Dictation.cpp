#include "app/feedback/OverlayView.h"
#include "core/audio/AudioStorage.h"
#include "core/audio/Resampler.h"
#include "core/audio/TakeJournal.h"
#include "core/recognition/StreamingAsr.h"
#include "tests/app/flows/FlowRig.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

using namespace std::chrono_literals;

namespace {

const QString kCommit = QStringLiteral("input_audio_buffer.commit");
// The program's code for F12.
constexpr int kF12 = 111;

} // namespace

// A dictation from the stop to the text: what it files, keeps and shows on the way.
class TestDictation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutSessionTheWholeTakeGoesInBatch()
    {
        FlowRig rig(false);
        rig.record(16000);
        QVERIFY(!rig.recording().streamingSession());
        rig.recording().stop();
        QCOMPARE(rig.state().statusLine(), QStringLiteral("识别中…"));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::processing);
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));

        QCOMPARE(rig.requestsTo(FlowRig::kAsr), 1);
        QCOMPARE(rig.requestsTo(FlowRig::kStyle), 1);
        QVERIFY(!rig.streaming.connected());
        const HistoryEntry entry = rig.onlyEntry();
        QCOMPARE(entry.asrText, FakeGateway::kTranscript);
        QCOMPARE(entry.providerId, QStringLiteral("gateway"));
        QCOMPARE(entry.action, std::optional(QStringLiteral("dictate")));
        QVERIFY(rig.app->history().audioURL(entry));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::done);
        QVERIFY(rig.overlay().inserted());
        // The take's file, kept through the stop, goes once the entry holds the take.
        QVERIFY(FlowRig::until([&] { return TakeJournal::leftIn(rig.app->history().recordingsDir()).isEmpty(); }));
    }

    // The last words the session showed go to the dictation, which styles them before the final
    // transcript comes and keeps that styling when the transcript agrees.
    void theLastPartialIsStyledEarly()
    {
        const QString partial = QStringLiteral("今天 天气不错");
        FlowRig rig;
        rig.streaming.answerCommits = false;
        rig.record(16000);
        rig.streaming.liveText(QString(), partial);
        QVERIFY(FlowRig::until([&] { return rig.recording().scene().lastPartial.trimmed() == partial.trimmed(); }));
        rig.recording().stop();
        QVERIFY(FlowRig::until([&] { return rig.streaming.countOf(kCommit) >= 1; }));
        QVERIFY(FlowRig::until([&] { return rig.requestsTo(FlowRig::kStyle) == 1; }));
        rig.streaming.answerCommit(QStringLiteral(" 今天  天气不错\n"));
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QCOMPARE(rig.requestsTo(FlowRig::kAsr), 0);
        QCOMPARE(rig.requestsTo(FlowRig::kStyle), 1);
        QCOMPARE(rig.onlyEntry().asrText, partial);
    }

    // A text that comes while the next recording runs and cannot be typed (its application has
    // quit) is left on the clipboard: that is said once the recording ends, not over it.
    void anOvertakenTextLeftOnTheClipboardIsToldAfterTheRecording()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}).after(200ms));
        rig.record(16000);
        rig.recording().stop();
        rig.fake.workspace.applications.clear();
        rig.recording().start();
        QVERIFY(FlowRig::until([&] {
            const QString text = rig.onlyEntry().finalText;
            return !text.isEmpty() && !HistoryEntry::isPlaceholder(text);
        }));
        const QString text = rig.onlyEntry().finalText;
        QCOMPARE(rig.fake.clipboard.text(), std::optional(text));
        QCOMPARE(rig.state().statusLine(), QStringLiteral("正在聆听…"));
        rig.recording().stop();
        QVERIFY(FlowRig::until([&] { return rig.state().statusLine() == TextDelivery::kEarlierCopied; }));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::done);
        QCOMPARE(rig.overlay().partial(), text);
        QVERIFY(!rig.overlay().inserted());
    }

    // The user's clipboard could be read only in part before the paste: the outcome says that not
    // all of it could be kept.
    void aClipboardReadInPartIsSaidNotToBeKept()
    {
        FlowRig rig(false);
        rig.fake.clipboard.content =
            ClipboardSnapshot{{{QStringLiteral("text/plain"), QByteArrayLiteral("mine")}}, false};
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QVERIFY2(rig.state().statusLine().endsWith(TextDelivery::kClipboardNotKeptNote),
                 qPrintable(rig.state().statusLine()));
    }

    void tooShortTakesAreDropped_data()
    {
        QTest::addColumn<qsizetype>("samples");
        QTest::addColumn<bool>("kept");
        QTest::newRow("1,600") << qsizetype(1600) << false;
        QTest::newRow("1,601") << qsizetype(1601) << true;
    }

    void tooShortTakesAreDropped()
    {
        QFETCH(qsizetype, samples);
        QFETCH(bool, kept);
        FlowRig rig(false);
        const quint64 before = rig.state().generation();
        rig.record(samples);
        rig.recording().stop();
        if (!kept) {
            // Said, not dropped silently.
            QCOMPARE(rig.state().statusLine(), Recording::kTooShort);
            QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::failed);
            QCOMPARE(rig.state().generation(), before + 1);
            QCOMPARE(rig.app->history().all().size(), 0);
            return;
        }
        QCOMPARE(rig.state().generation(), before + 2);
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QCOMPARE(rig.app->history().all().size(), 1);
    }

    void quietTakesAreSavedBoosted_data()
    {
        QTest::addColumn<qsizetype>("samples");
        QTest::newRow("short, boosted in place") << qsizetype(16000);
        QTest::newRow("long, boosted on a worker") << qsizetype(31 * 16000);
    }

    void quietTakesAreSavedBoosted()
    {
        QFETCH(qsizetype, samples);
        FlowRig rig(false);
        rig.record(samples, 0.01f);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        const Samples saved = AudioStorage::readSamples(*rig.app->history().audioURL(rig.onlyEntry()));
        QVERIFY(qAbs(qsizetype(saved.size()) - samples) < 1000);
        double sum = 0;
        for (float sample : saved)
            sum += double(sample) * sample;
        // Raised towards the 0.06 target from the 0.01 it was spoken at.
        QVERIFY2(std::sqrt(sum / double(saved.size())) > 0.04,
                 qPrintable(QString::number(std::sqrt(sum / double(saved.size())))));
    }

    // Streamed quiet speech is boosted as the whole take would be: the pauses between the words
    // stay pauses, where a gain set afresh for every buffer would lift them to the words' level.
    void streamedQuietSpeechKeepsItsPauses()
    {
        FlowRig rig(true);
        rig.app->settings().setValue(SettingKey::quietBoost, true);
        rig.record(0);
        // Half-second stretches of speech at 0.02 and of a pause at 0.002, in buffers of 0.1 s.
        const QList<float> stretches{0.02f, 0.002f, 0.02f, 0.002f, 0.02f, 0.002f};
        for (const float level : stretches)
            for (int buffer = 0; buffer < 5; ++buffer) {
                std::vector<float> frames(1600);
                for (std::size_t i = 0; i < frames.size(); ++i)
                    frames[i] = level * float((i / 20) % 2 ? 1 : -1);
                rig.fake.audioInput.deliver(frames);
            }
        const qsizetype total = qsizetype(stretches.size()) * 8000;
        QVERIFY(FlowRig::until([&] { return rig.streaming.audioSamples() >= total - 1600; }));
        std::vector<double> streamed;
        for (const QByteArray& chunk : rig.streaming.audioChunks())
            for (qsizetype i = 0; i + 1 < chunk.size(); i += 2)
                streamed.push_back(qFromLittleEndian<qint16>(chunk.constData() + i) / 32767.0);
        // The level of the middle of stretch n, away from its edges.
        const auto levelOf = [&streamed](int n) {
            double sum = 0;
            for (std::size_t i = std::size_t(n) * 8000 + 2000; i < std::size_t(n) * 8000 + 6000; ++i)
                sum += streamed[i] * streamed[i];
            return std::sqrt(sum / 4000);
        };
        QVERIFY(streamed.size() >= 6 * 8000 - 1600);
        const double ratio = levelOf(4) / levelOf(3);
        QVERIFY2(ratio > 6, qPrintable(QString::number(ratio)));
        QVERIFY2(levelOf(4) > 0.04, qPrintable(QString::number(levelOf(4))));
        rig.recording().cancel();
    }

    // The stop hands the take on with the purpose it was recorded for, and only a translation
    // becomes a dictation.
    void theTakeCarriesItsPurpose_data()
    {
        QTest::addColumn<RecordingPurpose>("purpose");
        QTest::newRow("ask") << RecordingPurpose::ask();
        QTest::newRow("rewrite") << RecordingPurpose::rewrite(QStringLiteral("old text"));
        QTest::newRow("translate") << RecordingPurpose::translate();
    }

    void theTakeCarriesItsPurpose()
    {
        QFETCH(RecordingPurpose, purpose);
        FlowRig rig(false);
        QSignalSpy recorded(&rig.recording(), &Recording::recorded);
        rig.recording().start(purpose);
        rig.fake.audioInput.deliver(std::vector<float>(16000, 0.1f));
        rig.recording().stop();
        QVERIFY(FlowRig::until([&] { return recorded.size() == 1; }));
        QCOMPARE(recorded.first().first().value<FinishedRecording>().purpose, purpose);
        if (!purpose.is(RecordingPurpose::Action::Translate))
            return;
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QVERIFY(rig.state().statusLine().contains(QStringLiteral(" → 英文")));
        QCOMPARE(rig.onlyEntry().action, std::optional(QStringLiteral("translate")));
    }

    // A long take is resampled away from the stop, which returns before the take is handed on;
    // what is handed on is the plain conversion of the device's buffers, sample for sample.
    void longTakeIsConvertedAwayFromTheStop()
    {
        FlowRig rig(false);
        const AudioInputFormat format{48000, 2};
        rig.fake.audioInput.setFormat(format);
        rig.app->settings().setValue(SettingKey::quietBoost, false);
        QSignalSpy asked(&rig.recording(), &Recording::recorded);
        rig.recording().start(RecordingPurpose::ask());
        std::vector<std::vector<float>> buffers(300, std::vector<float>(2 * 4800));
        double phase = 0;
        for (std::vector<float>& buffer : buffers) {
            for (float& sample : buffer)
                sample = 0.3f * float(std::sin(phase += 0.03));
            rig.fake.audioInput.deliver(buffer);
        }
        rig.recording().stop();
        QCOMPARE(asked.size(), 0);
        QVERIFY(FlowRig::until([&] { return asked.size() == 1; }));
        const Samples expected = convertTake(buffers, format);
        QVERIFY(expected.size() > 29 * 16000);
        QVERIFY(*asked.first().first().value<FinishedRecording>().samples == expected);
    }

    // Terms on the screen that the dictation used are learned as hotwords, once.
    void screenTermsInTheTextAreLearned()
    {
        FlowRig rig(false);
        const QString said = QStringLiteral("用 Kubernetes 和 Grafana 部署 Zed");
        rig.fake.gateway.setReply("POST", FlowRig::kAsr, FakeReply::json({{QStringLiteral("text"), said}}));
        rig.fake.gateway.setReply("POST", FlowRig::kStyle, FakeReply::json({{QStringLiteral("text"), said}}));
        rig.fake.workspace.titles.insert(FlowRig::kEditorPid, QStringLiteral("kubectl notes"));
        rig.fake.accessibility.addFocusedField(QStringLiteral("Kubernetes Grafana Zed Prometheus"));
        rig.app->lexicon()->addHotword(QStringLiteral("Grafana"));
        rig.record(16000);
        QVERIFY(FlowRig::until([&] { return rig.recording().scene().screen.has_value(); }));
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        // kubectl and Prometheus were not said, Zed is too short, Grafana was known.
        QTRY_COMPARE(rig.app->lexicon()->hotwords(),
                     (QStringList{QStringLiteral("Grafana"), QStringLiteral("Kubernetes")}));
    }

    // An overtaken dictation still files and inserts its text, but the newer recording keeps the
    // status line and the capsule.
    void overtakenDictationLeavesTheVisibleStateAlone()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}).after(300ms));
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        rig.record(16000);
        rig.recording().stop();
        rig.recording().start();
        QVERIFY(FlowRig::until([&] { return rig.requestsTo(FlowRig::kStyle) == 1; }));
        QVERIFY(FlowRig::until([&] {
            rig.fake.clock.advance(10ms);
            return !inserted.isEmpty() && rig.onlyEntry().asrText == FakeGateway::kTranscript;
        }));
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(rig.state().statusLine(), QStringLiteral("正在聆听…"));
        QCOMPARE(rig.overlay().phase(), OverlayModel::Phase::listening);
        QVERIFY(rig.state().isRecording());
    }

    // The history window shows the take as soon as it is saved, and the status line says what
    // the dictation is doing: recognising, then styling.
    void theHistoryAndStatusLineFollowTheDictation()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}).heldBack());
        rig.record(16000);
        QSignalSpy told(&rig.state(), &AppState::historyVersionChanged);
        rig.recording().stop();
        QVERIFY(FlowRig::until([&] { return !told.isEmpty() && rig.requestsTo(FlowRig::kAsr) == 1; }));
        QCOMPARE(rig.onlyEntry().finalText, HistoryEntry::kRecognisingText);
        QCOMPARE(rig.state().statusLine(), QStringLiteral("识别中…"));

        rig.fake.gateway.setReply("POST", FlowRig::kStyle,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}).heldBack());
        rig.fake.gateway.releaseHeldReplies();
        QVERIFY(FlowRig::until([&] { return rig.requestsTo(FlowRig::kStyle) == 1; }));
        QCOMPARE(rig.state().statusLine(), QStringLiteral("整理中…"));
        rig.fake.gateway.releaseHeldReplies();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
    }

    // A key held when the text is ready holds the text back until it is let go; meanwhile the
    // status line says so, unless a newer recording (the held key's own) owns it.
    void aTextHeldBackByAKeySaysSo_data()
    {
        QTest::addColumn<bool>("nextRecording");
        QTest::newRow("another key") << false;
        QTest::newRow("the next recording's key") << true;
    }

    void aTextHeldBackByAKeySaysSo()
    {
        QFETCH(bool, nextRecording);
        FlowRig rig(false);
        rig.app->hotkeys().start();
        QSignalSpy waiting(&rig.app->inserter(), &TextInserter::keyReleaseWanted);
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        rig.record(16000);
        rig.recording().stop();
        rig.fake.keys.press(kF12);
        rig.fake.keySynthesizer.keyHeld = true;
        if (nextRecording)
            rig.recording().start();
        QVERIFY(FlowRig::until([&] { return !waiting.isEmpty(); }));
        const QString line = nextRecording ? QStringLiteral("正在聆听…") : TextDelivery::kWaitingForKeys;
        QCOMPARE(rig.state().statusLine(), line);
        // The capsule says what the status line says; the next recording's keeps listening.
        if (nextRecording)
            QVERIFY(OverlayModel::isListening(rig.overlay().phase()));
        else
            QCOMPARE(rig.app->overlay().view()->compactText(), TextDelivery::kWaitingForKeys);
        rig.fake.clock.advance(8s);
        QCOMPARE(rig.state().statusLine(), line);
        QVERIFY(inserted.isEmpty());

        rig.fake.keySynthesizer.keyHeld = false;
        rig.fake.keys.release(kF12);
        QVERIFY(FlowRig::until([&] {
            rig.fake.clock.advance(TextInserter::waitStep);
            return !inserted.isEmpty();
        }));
        QVERIFY(rig.settledOn(nextRecording ? line : QStringLiteral("✓ ")));
    }

    void aMicrophoneThatStopsCutsTheTake_data()
    {
        QTest::addColumn<bool>("streaming");
        QTest::newRow("batch") << false;
        QTest::newRow("streaming") << true;
    }

    // The sound server goes away mid-take: the status line and the capsule say so at once, what
    // was heard is recognised and typed, its status and entry say where it was cut; the next take
    // is a whole one again.
    void aMicrophoneThatStopsCutsTheTake()
    {
        QFETCH(bool, streaming);
        FlowRig rig(streaming);
        rig.record(56000);
        rig.fake.audioInput.lose(QStringLiteral("音频系统不可用"));
        QVERIFY(FlowRig::until([&] { return !rig.state().isRecording(); }));
        QVERIFY(rig.statusStartsWith(QStringLiteral("麦克风已停止：音频系统不可用 · 录音在 3.5 秒处中断")));
        QCOMPARE(rig.app->overlay().view()->compactText(), Recording::kMicrophoneStopped);
        QVERIFY(rig.settledOn(QStringLiteral("录音在 3.5 秒处中断 · ")));
        QCOMPARE(rig.onlyEntry().cutAt, std::optional<double>(3.5));
        QCOMPARE(rig.overlay().partial(), HistoryEntry::cutText(3.5) + Dictation::kCutCapsuleNote);
        QVERIFY(!HistoryEntry::isPlaceholder(rig.onlyEntry().finalText));

        // The capsule's fade runs out on the clock before the next take.
        rig.fake.clock.advance(10s);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        const QList<HistoryEntry> entries = rig.app->history().all();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(std::count_if(entries.cbegin(), entries.cend(), [](const auto& entry) { return entry.cutAt; }), 1);
    }

    // Every text that waits for held keys says so, the second of two in a row as well, while the
    // first is still under way.
    void everyTextHeldBackByAKeySaysSo()
    {
        FlowRig rig(false);
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        rig.fake.keySynthesizer.keyHeld = true;
        for (int take = 1; take <= 2; ++take) {
            rig.record(16000);
            rig.recording().stop();
            QVERIFY(FlowRig::until([&] {
                const QList<HistoryEntry> entries = rig.app->history().all();
                return entries.size() == take && std::none_of(entries.cbegin(), entries.cend(), [](const auto& entry) {
                           return HistoryEntry::isPlaceholder(entry.finalText);
                       });
            }));
            QCOMPARE(rig.state().statusLine(), TextDelivery::kWaitingForKeys);
        }
        QVERIFY(inserted.isEmpty());
        rig.fake.keySynthesizer.keyHeld = false;
        rig.app->inserter().keyReleased();
        QVERIFY(FlowRig::until([&] {
            rig.fake.clock.advance(TextInserter::waitStep);
            return inserted.size() == 2;
        }));
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
    }

    // A text waiting for held keys is in its entry before it goes, and a quit keeps it there
    // instead of typing it afterwards or leaving it on the clipboard.
    void aTextWaitingForKeysIsFiledAndKeptAtQuit()
    {
        FlowRig rig(false);
        QSignalSpy inserted(&rig.app->inserter(), &TextInserter::inserted);
        rig.fake.keySynthesizer.keyHeld = true;
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(FlowRig::until([&] { return rig.state().statusLine() == TextDelivery::kWaitingForKeys; }));
        QVERIFY(FlowRig::until([&] {
            const QString text = rig.onlyEntry().finalText;
            return !text.isEmpty() && !HistoryEntry::isPlaceholder(text);
        }));
        const HistoryEntry waiting = rig.onlyEntry();
        const std::optional<QString> clipboard = rig.fake.clipboard.text();
        QCOMPARE(rig.controller->stopTyping(), 1);
        QCOMPARE(rig.state().statusLine(), TextDelivery::kKeptInHistory);
        rig.fake.keySynthesizer.keyHeld = false;
        rig.app->inserter().keyReleased();
        rig.fake.clock.advance(10s);
        QCoreApplication::processEvents();
        QVERIFY(inserted.isEmpty());
        QCOMPARE(rig.fake.clipboard.text(), clipboard);
        QCOMPARE(rig.onlyEntry().finalText, waiting.finalText);
        QCOMPARE(rig.state().statusLine(), TextDelivery::kKeptInHistory);
    }

    // The application's mode rule styles the dictation; its entry still records the current mode.
    void theApplicationsModeRuleStylesTheTake()
    {
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::currentModeId, QStringLiteral("formal"));
        rig.app->settings().setValue(SettingKey::appModeRules, QStringLiteral(R"({"gedit":"casual"})"));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ") + StyleMode::casual().name));
        const QList<RecordedRequest> styling = rig.fake.gateway.requestsTo(FlowRig::kStyle);
        QCOMPARE(styling.size(), 1);
        QCOMPARE(styling.first().json().value(QStringLiteral("tier")).toString(), QStringLiteral("fast"));
        QCOMPARE(rig.onlyEntry().modeId, QStringLiteral("formal"));
    }

    // A correction the user saves while the entry still says "recognising" outlives the task.
    void runningTaskKeepsTheUsersCorrection()
    {
        FlowRig rig(false);
        rig.fake.gateway.setReply("POST", FlowRig::kAsr,
                                  FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}}).heldBack());
        rig.record(16000);
        rig.recording().stop();
        QVERIFY(
            FlowRig::until([&] { return !rig.app->history().all().isEmpty() && rig.requestsTo(FlowRig::kAsr) == 1; }));
        const QString corrected = QStringLiteral("我自己改的");
        rig.app->history().updateFinalText(rig.onlyEntry().id, corrected);
        rig.fake.gateway.releaseHeldReplies();
        QVERIFY(rig.settledOn(QStringLiteral("✓ ")));
        QCOMPARE(rig.onlyEntry().finalText, corrected);
    }
};

MURMO_TEST(TestDictation)
#include "tst_Dictation.moc"
