#include "core/async/CancelToken.h"
#include "core/async/Sleep.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/TranscriptRace.h"
#include "tests/support/FakeTranscriptSources.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using Output = DictationPipeline::Output;

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// How the streaming session ends in a case: a transcript, a failure (status 502), or silence
// until its timeout. Times are clock milliseconds from the start of the call.
struct StreamScript
{
    int atMs = -1; // -1: silent
    QString text;
    bool fails = false;
};

// The batch recogniser's answer: text after takesMs, or a failure when fails is set.
struct BatchScript
{
    int takesMs = 0;
    QString text;
    bool fails = false;
};

// A styler that takes half a second and wraps the text in guillemets, recording each request.
struct FakeStyle
{
    struct Log
    {
        QStringList texts;
        int cancelled = 0;
    };

    static QCoro::Task<Output> style(ManualClock* clock, std::shared_ptr<Log> log, QString raw, int asrMs,
                                     CancelToken* cancel)
    {
        log->texts.append(raw);
        if (!co_await sleepFor(clock, 500ms, cancel)) {
            ++log->cancelled;
            throw CancelledError();
        }
        Output output;
        output.asrText = raw;
        output.finalText = QStringLiteral("«%1»").arg(raw);
        output.mode = StyleMode::formal();
        output.asrMs = asrMs;
        output.styleMs = 500;
        co_return output;
    }
};

// One call's world: the fakes, run on a manual clock from 0 until the call ends.
struct Race
{
    ManualClock clock;
    std::shared_ptr<FakeStreamingTranscriptSource> stream = std::make_shared<FakeStreamingTranscriptSource>(clock);
    std::shared_ptr<ScriptedAsrProvider> provider;
    std::shared_ptr<FakeStyle::Log> styleLog = std::make_shared<FakeStyle::Log>();
    const Samples samples = Samples(1600, 0.25f);

    Race(const StreamScript& streamScript, const BatchScript& batchScript)
    {
        if (streamScript.fails)
            stream->failAfter(milliseconds(streamScript.atMs),
                              std::make_exception_ptr(AsrError::httpError(502, QStringLiteral("stream broke"))));
        else if (streamScript.atMs >= 0)
            stream->answerAfter(milliseconds(streamScript.atMs), streamScript.text);
        provider = std::make_shared<ScriptedAsrProvider>(clock, milliseconds(batchScript.takesMs),
                                                         batchScript.fails ? std::nullopt
                                                                           : std::optional<QString>(batchScript.text));
    }

    TranscriptRace::BatchRecognition batch() const
    {
        return {provider, {QStringLiteral("Zoom")}, samples, QStringLiteral("zh")};
    }

    TranscriptRace::Style style()
    {
        return [clock = &clock, log = styleLog](QString raw, int asrMs, CancelToken* cancel) {
            return FakeStyle::style(clock, log, raw, asrMs, cancel);
        };
    }

    // Advances in 100 ms steps until the call has ended, then lets every loser finish.
    template <typename T> TaskOutcome<T> run(QCoro::Task<T> task, qint64& readyAtMs)
    {
        while (!task.isReady() && clock.now() < 20s)
            clock.advance(100ms);
        readyAtMs = clock.now().count();
        clock.advance(20s);
        return runTask(std::move(task));
    }
};

} // namespace

Q_DECLARE_METATYPE(StreamScript)
Q_DECLARE_METATYPE(BatchScript)

class TestTranscriptRace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void squashWS_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("squashed");
        QTest::newRow("runs and ends") << s(" 今天  开会\n讨论\t") << s("今天 开会 讨论");
        QTest::newRow("ideographic space") << s("今天\u3000开会") << s("今天 开会");
        QTest::newRow("single spaces stay") << s("今天 开会") << s("今天 开会");
        QTest::newRow("only white space") << s("\n \n") << QString();
    }

    void squashWS()
    {
        QFETCH(QString, text);
        QFETCH(QString, squashed);
        QCOMPARE(TranscriptRace::squashWS(text), squashed);
    }

    void finishRaw_data()
    {
        QTest::addColumn<StreamScript>("stream");
        QTest::addColumn<BatchScript>("batch");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("errorStatus"); // -1: no error
        QTest::addColumn<qint64>("readyAtMs");
        QTest::addColumn<int>("batchRequests");
        QTest::addColumn<int>("batchCancelled");
        QTest::addColumn<QList<int>>("closeCodes");

        const BatchScript batch{1200, s("批量文本")};
        QTest::newRow("a streaming final at 1 s makes no batch request")
            << StreamScript{1000, s("流式文本")} << batch << s("流式文本") << -1 << qint64(1000) << 0 << 0
            << QList<int>{1001};
        QTest::newRow("an empty streaming final wins at once")
            << StreamScript{500, QString()} << batch << QString() << -1 << qint64(500) << 0 << 0 << QList<int>{1001};
        QTest::newRow("a silent stream loses to the batch answer at 3.2 s")
            << StreamScript{} << batch << s("批量文本") << -1 << qint64(3200) << 1 << 0 << QList<int>{1001};
        QTest::newRow("a streaming final beside a running batch cancels the request")
            << StreamScript{2500, s("流式文本")} << batch << s("流式文本") << -1 << qint64(2500) << 1 << 1
            << QList<int>{1001};
        QTest::newRow("a streaming failure awaits the batch already running")
            << StreamScript{2500, QString(), true} << batch << s("批量文本") << -1 << qint64(3200) << 1 << 0
            << QList<int>{1001};
        QTest::newRow("a streaming failure before the batch starts is thrown")
            << StreamScript{1000, QString(), true} << batch << QString() << 502 << qint64(1000) << 0 << 0
            << QList<int>{};
        QTest::newRow("a streaming failure after the batch failed is thrown")
            << StreamScript{4000, QString(), true} << BatchScript{1200, QString(), true} << QString() << 502
            << qint64(4000) << 1 << 0 << QList<int>{};
        QTest::newRow("the streaming timeout is thrown when the batch failed")
            << StreamScript{} << BatchScript{1200, QString(), true} << QString() << 0 << qint64(12000) << 1 << 0
            << QList<int>{};
    }

    void finishRaw()
    {
        QFETCH(StreamScript, stream);
        QFETCH(BatchScript, batch);
        QFETCH(QString, expected);
        QFETCH(int, errorStatus);
        QFETCH(qint64, readyAtMs);
        QFETCH(int, batchRequests);
        QFETCH(int, batchCancelled);
        QFETCH(QList<int>, closeCodes);

        Race race(stream, batch);
        const TranscriptRace transcriptRace(race.clock);
        qint64 readyAt = 0;
        const auto outcome = race.run(transcriptRace.finishRaw(race.stream, race.batch()), readyAt);

        if (errorStatus >= 0) {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(error->status(), errorStatus);
        } else {
            QVERIFY(!outcome.error);
            QCOMPARE(*outcome.value, expected);
        }
        QCOMPARE(readyAt, readyAtMs);
        QCOMPARE(race.stream->finishTimeouts, QList<milliseconds>{12000ms});
        QCOMPARE(race.provider->requests.size(), batchRequests);
        QCOMPARE(race.provider->cancelled, batchCancelled);
        QCOMPARE(race.stream->closeCodes, closeCodes);
        QCOMPARE(race.clock.pendingCount(), std::size_t(0));
        if (batchRequests > 0) {
            const ScriptedAsrProvider::Request& request = race.provider->requests.first();
            QCOMPARE(request.at, 2000ms);
            QCOMPARE(request.wavData, WavEncoder::encode(race.samples, 16000));
            QCOMPARE(request.vocabulary, QStringList{QStringLiteral("Zoom")});
            QCOMPARE(request.languageHint, std::optional<QString>(QStringLiteral("zh")));
        }
    }

    void formalOverlapOutput_data()
    {
        QTest::addColumn<StreamScript>("stream");
        QTest::addColumn<BatchScript>("batch");
        QTest::addColumn<QString>("finalText"); // empty: AsrError::emptyResult
        QTest::addColumn<int>("asrMs");
        QTest::addColumn<QStringList>("styled");
        QTest::addColumn<int>("batchCancelled");

        const QString spaced = s("今天 开会  讨论\n");
        QTest::newRow("a batch text equal up to white space reuses the early styling")
            << StreamScript{1000, spaced} << BatchScript{2000, s("今天 开会 讨论")} << s("«%1»").arg(spaced) << 2000
            << QStringList{spaced} << 0;
        QTest::newRow("a batch text without a space between words is styled anew")
            << StreamScript{1000, s("今天 开会")} << BatchScript{1200, s("今天开会")} << s("«今天开会»") << 1200
            << QStringList{s("今天 开会"), s("今天开会")} << 0;
        QTest::newRow("a batch answer later than the cap is dropped")
            << StreamScript{1000, s("今天 开会")} << BatchScript{5000, s("今天开会")} << s("«今天 开会»") << 4500
            << QStringList{s("今天 开会")} << 1;
        QTest::newRow("a failed batch within the cap leaves the streaming text")
            << StreamScript{1000, s("今天 开会")} << BatchScript{2000, QString(), true} << s("«今天 开会»") << 2000
            << QStringList{s("今天 开会")} << 0;
        QTest::newRow("an empty streaming text waits for the batch beyond the cap")
            << StreamScript{1000, s(" \n")} << BatchScript{6000, s("批量文本")} << s("«批量文本»") << 6000
            << QStringList{s("批量文本")} << 0;
        QTest::newRow("a failed stream waits for the batch beyond the cap")
            << StreamScript{1000, QString(), true} << BatchScript{6000, s("批量文本")} << s("«批量文本»") << 6000
            << QStringList{s("批量文本")} << 0;
        QTest::newRow("a failed stream and a failed batch give no result")
            << StreamScript{1000, QString(), true} << BatchScript{2000, QString(), true} << QString() << 0
            << QStringList{} << 0;
        QTest::newRow("an empty stream and a failed batch give no result")
            << StreamScript{1000, QString()} << BatchScript{2000, QString(), true} << QString() << 0 << QStringList{}
            << 0;
    }

    void formalOverlapOutput()
    {
        QFETCH(StreamScript, stream);
        QFETCH(BatchScript, batch);
        QFETCH(QString, finalText);
        QFETCH(int, asrMs);
        QFETCH(QStringList, styled);
        QFETCH(int, batchCancelled);

        Race race(stream, batch);
        const TranscriptRace transcriptRace(race.clock);
        qint64 readyAt = 0;
        const auto outcome = race.run(
            transcriptRace.formalOverlapOutput(race.stream, race.batch(), race.style(), milliseconds(0)), readyAt);

        if (finalText.isEmpty()) {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(error->kind(), AsrError::Kind::EmptyResult);
        } else {
            QVERIFY(!outcome.error);
            QCOMPARE(outcome.value->finalText, finalText);
            QCOMPARE(outcome.value->asrMs, asrMs);
            QCOMPARE(outcome.value->styleMs, 500);
        }
        QCOMPARE(race.styleLog->texts, styled);
        // Every styling request not used was cancelled.
        QCOMPARE(race.styleLog->cancelled, std::max(0, int(styled.size()) - 1));
        QCOMPARE(race.provider->requests.size(), 1);
        QCOMPARE(race.provider->requests.first().at, 0ms);
        QCOMPARE(race.provider->cancelled, batchCancelled);
        QCOMPARE(race.stream->closeCodes, QList<int>{1001});
        QCOMPARE(race.clock.pendingCount(), std::size_t(0));
    }
};

MURMO_TEST(TestTranscriptRace)
#include "tst_TranscriptRace.moc"
