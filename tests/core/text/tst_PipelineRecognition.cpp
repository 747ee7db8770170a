#include "core/async/CancelToken.h"
#include "core/audio/AudioChunker.h"
#include "core/audio/WavEncoder.h"
#include "core/net/HttpTransport.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/GatewayAsrProvider.h"
#include "core/store/Lexicon.h"
#include "core/text/DictationPipeline.h"
#include "tests/core/text/PipelineFakes.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace std::chrono_literals;

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Speech-like noise with exact silences where the recording should be cut (each silence is one
// 800-sample window on the chunker's search grid, so the cut falls on its middle).
Samples recording(qint64 count, std::initializer_list<qint64> silences)
{
    Samples samples(static_cast<std::size_t>(count));
    quint32 state = 99;
    for (float& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = 0.2f * (static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f);
    }
    for (const qint64 at : silences)
        std::fill(samples.begin() + at, samples.begin() + at + 800, 0.0f);
    return samples;
}

// 150 s cut at 950,400 and 1,900,400: chunks of 950,400, 998,000 and 547,600 samples (each
// after the first starting 3 s early).
Samples threeChunks()
{
    return recording(2400000, {950000, 1900000});
}

// 212.5 s cut at 950,400, 1,900,400 and 2,860,400.
Samples fourChunks()
{
    return recording(3400000, {950000, 1900000, 2860000});
}

// Which chunk a request or a WAV image carries, told by its length.
const std::map<qint64, int> kChunkBySamples{{950400, 0}, {998000, 1}, {547600, 2}, {1008000, 2}, {587600, 3}};

int chunkOfWav(const QByteArray& wav)
{
    const auto it = kChunkBySamples.find((wav.size() - WavEncoder::kHeaderSize) / 2);
    return it == kChunkBySamples.end() ? -1 : it->second;
}

int chunkOf(const RecordedRequest& request)
{
    return chunkOfWav(QByteArray::fromBase64(request.json().value(QStringLiteral("audio_b64")).toString().toLatin1()));
}

FakeReply transcript(const QString& text)
{
    return FakeReply::json({{QStringLiteral("text"), text}});
}

// Chunk transcripts whose ends repeat what the next one starts with, in Chinese and in ASCII.
const QStringList kChunkTexts{
    s("今天我们用 Zoom 开会讨论预算"),
    s("Zoom 开会讨论预算的问题然后安排下周的工作"),
    s("安排下周的工作就这样"),
    s("明天见"),
};
const QString kThreeStitched = s("今天我们用 Zoom 开会讨论预算的问题然后安排下周的工作就这样");

// Wraps the gateway provider to see what the pipeline does with it: which chunk each call
// carried, in what order calls started, how many ran at once, and how each ended.
class ObservedProvider : public AsrProvider
{
public:
    explicit ObservedProvider(std::shared_ptr<AsrProvider> inner)
        : m_inner(std::move(inner))
    {}

    QString id() const override { return m_inner->id(); }

    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel) const override
    {
        return observe(this, m_inner, std::move(wavData), std::move(vocabulary), std::move(languageHint), cancel);
    }

    mutable QList<int> started;
    mutable std::map<int, QStringList> endings; // chunk -> "ok" / "cancelled" / "failed", per call
    mutable int inFlight = 0;
    mutable int maxInFlight = 0;

private:
    static QCoro::Task<QString> observe(const ObservedProvider* self, std::shared_ptr<AsrProvider> inner,
                                        QByteArray wav, QStringList vocabulary, std::optional<QString> hint,
                                        CancelToken* cancel)
    {
        const int chunk = chunkOfWav(wav);
        self->started.append(chunk);
        self->maxInFlight = std::max(self->maxInFlight, ++self->inFlight);
        std::exception_ptr failure;
        QString ending;
        try {
            QString text = co_await inner->transcribe(wav, vocabulary, hint, cancel);
            --self->inFlight;
            self->endings[chunk].append(QStringLiteral("ok"));
            co_return text;
        } catch (const CancelledError&) {
            ending = QStringLiteral("cancelled");
            failure = std::current_exception();
        } catch (...) {
            ending = QStringLiteral("failed");
            failure = std::current_exception();
        }
        --self->inFlight;
        self->endings[chunk].append(ending);
        std::rethrow_exception(failure);
    }

    std::shared_ptr<AsrProvider> m_inner;
};

} // namespace

class TestPipelineRecognition : public QObject
{
    Q_OBJECT

    FakeGateway* m_gateway = nullptr;
    HttpTransport* m_transport = nullptr;
    QTemporaryDir* m_dir = nullptr;
    std::shared_ptr<Lexicon> m_lexicon;
    std::shared_ptr<FakeStyler> m_styler;
    std::shared_ptr<ObservedProvider> m_provider;
    AutoAdvancingClock* m_clock = nullptr;

    DictationPipeline pipeline() const { return DictationPipeline(m_provider, m_styler, m_lexicon, {}, m_clock); }

    QList<int> requestedChunks() const
    {
        QList<int> chunks;
        for (const RecordedRequest& request : m_gateway->requestsTo(QStringLiteral("/v1/asr")))
            chunks.append(chunkOf(request));
        return chunks;
    }

    static StyleMode casual() { return StyleMode{QStringLiteral("casual"), QStringLiteral("Casual"), s("整理"), {}}; }

private Q_SLOTS:
    void init()
    {
        m_gateway = new FakeGateway;
        m_transport = new HttpTransport;
        m_transport->setTimeoutCap(20s);
        m_dir = new QTemporaryDir;
        m_lexicon = std::make_shared<Lexicon>(m_dir->path());
        m_lexicon->addHotword(QStringLiteral("Murmo"));
        m_lexicon->addHotword(QStringLiteral("Qwen"));
        m_styler = std::make_shared<FakeStyler>();
        auto gatewayProvider = std::make_shared<GatewayAsrProvider>(
            GatewayClient(m_gateway->baseUrl(), FakeGateway::kDeviceToken, m_transport));
        m_provider = std::make_shared<ObservedProvider>(gatewayProvider);
        m_clock = new AutoAdvancingClock;
    }

    void cleanup()
    {
        m_provider.reset();
        m_styler.reset();
        m_lexicon.reset();
        delete m_clock;
        delete m_dir;
        delete m_transport;
        delete m_gateway;
    }

    void chunksAnsweringOutOfOrderAreJoinedInOrder()
    {
        const QList<std::chrono::milliseconds> delays{300ms, 150ms, 0ms};
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            const int chunk = chunkOf(request);
            return transcript(kChunkTexts.value(chunk)).after(delays.value(chunk));
        });

        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), {}, false, QStringLiteral("zh")));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->chunkCount, 3);
        QCOMPARE(outcome.value->asrText, kThreeStitched);
        QCOMPARE(outcome.value->finalText, kThreeStitched);
        QCOMPARE(m_styler->calls.size(), 1);
        QCOMPARE(m_styler->calls.front().text, kThreeStitched);
        QCOMPARE(m_provider->maxInFlight, 3);
        QCOMPARE(m_provider->started, (QList<int>{0, 1, 2}));

        const QList<RecordedRequest> requests = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(requests.size(), 3);
        for (const RecordedRequest& request : requests) {
            QCOMPARE(request.json().value(QStringLiteral("vocab")).toArray(),
                     (QJsonArray{QStringLiteral("Murmo"), QStringLiteral("Qwen")}));
            QCOMPARE(request.json().value(QStringLiteral("language_hint")).toString(), QStringLiteral("zh"));
        }
        QVERIFY(m_clock->waits.empty());
    }

    void neverMoreThanThreeRecognitionsAtOnce()
    {
        // Chunk 1 answers first, so chunk 3 must start right after it and not before.
        const QList<std::chrono::milliseconds> delays{200ms, 50ms, 300ms, 0ms};
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            const int chunk = chunkOf(request);
            return transcript(kChunkTexts.value(chunk)).after(delays.value(chunk));
        });

        const auto outcome = runTask(pipeline().run(fourChunks(), casual(), {}, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->chunkCount, 4);
        QCOMPARE(outcome.value->asrText, kThreeStitched + s("明天见"));
        QCOMPARE(m_provider->maxInFlight, 3);
        QCOMPARE(m_provider->started, (QList<int>{0, 1, 2, 3}));
        for (const RecordedRequest& request : m_gateway->requestsTo(QStringLiteral("/v1/asr")))
            QVERIFY(!request.json().contains(QStringLiteral("language_hint")));
    }

    void aChunkThatFailsTwiceIsRetriedAfterWaits()
    {
        std::map<int, int> attempts;
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            const int chunk = chunkOf(request);
            if (chunk == 1 && ++attempts[chunk] <= 2)
                return FakeReply::raw("upstream busy", 503);
            return transcript(kChunkTexts.value(chunk));
        });

        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), {}, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText, kThreeStitched);
        QCOMPARE(m_clock->waits, (std::vector<std::chrono::milliseconds>{600ms, 1200ms}));
        // The clock moved only by the two waits, and recognition time includes them.
        QCOMPARE(outcome.value->asrMs, 1800);
        QCOMPARE(m_provider->endings[1], (QStringList{"failed", "failed", "ok"}));
        QList<int> requested = requestedChunks();
        std::sort(requested.begin(), requested.end());
        QCOMPARE(requested, (QList<int>{0, 1, 1, 1, 2}));
    }

    void aChunkFailingThreeTimesCancelsTheOthers()
    {
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            if (chunkOf(request) == 1)
                return FakeReply::raw("model overloaded", 500);
            return FakeReply::silent(); // still working when the run gives up
        });

        const auto outcome = runTask(pipeline().run(fourChunks(), casual(), {}, false, std::nullopt));
        QVERIFY(!outcome.value);
        const auto error = outcome.errorAs<AsrError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), AsrError::Kind::HttpError);
        QCOMPARE(error->status(), 500);
        QCOMPARE(m_clock->waits, (std::vector<std::chrono::milliseconds>{600ms, 1200ms}));
        QCOMPARE(m_provider->endings[1], (QStringList{"failed", "failed", "failed"}));
        // The chunks still in flight were cancelled; their later attempts end at once, before
        // anything more reaches the gateway.
        for (const int chunk : {0, 2}) {
            QVERIFY(!m_provider->endings[chunk].isEmpty());
            QCOMPARE(m_provider->endings[chunk].count(QStringLiteral("cancelled")), m_provider->endings[chunk].size());
        }
        QList<int> requested = requestedChunks();
        std::sort(requested.begin(), requested.end());
        QCOMPARE(requested, (QList<int>{0, 1, 1, 1, 2}));
        QCOMPARE(m_provider->inFlight, 0);
        // No slot came free before the failure, and none is taken after it.
        QVERIFY(!m_provider->started.contains(3));
        QCOMPARE(m_styler->calls.size(), 0);
    }

    void cancellingTheRunCancelsEveryChunk()
    {
        CancelToken token;
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            if (chunkOf(request) == 2)
                QTimer::singleShot(0, &token, &CancelToken::cancel);
            return FakeReply::silent();
        });

        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), {}, false, std::nullopt, &token));
        QVERIFY(outcome.errorAs<CancelledError>());
        for (int chunk = 0; chunk < 3; ++chunk) {
            QVERIFY(!m_provider->endings[chunk].isEmpty());
            QCOMPARE(m_provider->endings[chunk].count(QStringLiteral("cancelled")), m_provider->endings[chunk].size());
        }
        // Nothing waits on the clock and nothing more is sent once the token is up.
        QVERIFY(m_clock->waits.empty());
        // (Uploads still under way when the token went up never reach the gateway at all.)
        QList<int> requested = requestedChunks();
        QVERIFY(requested.contains(2));
        QCOMPARE(QSet<int>(requested.begin(), requested.end()).size(), requested.size());
        QCOMPARE(m_provider->inFlight, 0);
    }

    void aSilentChunkIsEmptyTextNotAFailure()
    {
        // 200 s: speech until 50 s, a pause until 125 s, speech to the end. The recogniser hears
        // nothing in the chunk that lies wholly inside the pause.
        Samples samples = recording(3200000, {});
        std::fill(samples.begin() + 800000, samples.begin() + 2000000, 0.0f);
        const std::vector<Samples> chunks = AudioChunker::split(samples, 16000, 60, 4, 3);
        QVERIFY(chunks.size() >= 3);
        std::map<QByteArray, int> chunkByWav;
        for (std::size_t i = 0; i < chunks.size(); ++i)
            chunkByWav[WavEncoder::encode(chunks[i], 16000)] = int(i);
        const QStringList spoken{s("前半段我们讨论了预算"), s("后半段安排下周的工作"), s("最后大家没有别的问题")};
        std::map<int, QString> textByChunk;
        QStringList expected;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            const bool silent = std::all_of(chunks[i].begin(), chunks[i].end(), [](float v) { return v == 0.0f; });
            if (!silent) {
                textByChunk[int(i)] = spoken.value(expected.size());
                expected.append(spoken.value(expected.size()));
            }
        }
        QCOMPARE(expected.size() + 1, qsizetype(chunks.size()));
        std::map<int, int> requests;
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            const int chunk = chunkByWav.at(
                QByteArray::fromBase64(request.json().value(QStringLiteral("audio_b64")).toString().toLatin1()));
            ++requests[chunk];
            return transcript(textByChunk[chunk]);
        });

        const auto outcome = runTask(pipeline().run(samples, casual(), {}, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText, expected.join(QString()));
        // Nothing was retried, the silent chunk included.
        QVERIFY(m_clock->waits.empty());
        for (std::size_t i = 0; i < chunks.size(); ++i)
            QCOMPARE(requests[int(i)], 1);
    }

    void aTakeSilentInEveryChunkHeardNothing()
    {
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), transcript(QString()));
        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), {}, false, std::nullopt));
        const auto error = outcome.errorAs<AsrError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), AsrError::Kind::EmptyResult);
        QVERIFY(m_clock->waits.empty());
        QCOMPARE(m_gateway->requestsTo(QStringLiteral("/v1/asr")).size(), 3);
    }

    void aRecordingOfUpToNinetySecondsIsSentOnceWithoutRetry()
    {
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("bad gateway", 502));
        const Samples samples = recording(1440000, {});
        const auto outcome = runTask(pipeline().run(samples, casual(), {}, false, std::nullopt));
        const auto error = outcome.errorAs<AsrError>();
        QVERIFY(error);
        QCOMPARE(error->status(), 502);
        const QList<RecordedRequest> requests = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(
            QByteArray::fromBase64(requests.front().json().value(QStringLiteral("audio_b64")).toString().toLatin1()),
            WavEncoder::encode(samples, 16000));
        QVERIFY(m_clock->waits.empty());
    }

    void anEmptyRecordingIsOneRequest()
    {
        const auto outcome = runTask(pipeline().run(Samples{}, casual(), {}, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->chunkCount, 1);
        QCOMPARE(outcome.value->asrText, FakeGateway::kTranscript);
        const QList<RecordedRequest> requests = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(
            QByteArray::fromBase64(requests.front().json().value(QStringLiteral("audio_b64")).toString().toLatin1())
                .size(),
            WavEncoder::kHeaderSize);
    }

    void stylingFailureAfterRecognitionKeepsTheTranscript()
    {
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            return transcript(kChunkTexts.value(chunkOf(request)));
        });
        m_styler->respond = [](const FakeStyler::Call&) -> QString { throw FakeStylingError(); };
        StylePreferences preferences;
        preferences.noTrailingPeriod = true;

        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), preferences, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->stylingFailed, true);
        QCOMPARE(outcome.value->finalText, kThreeStitched);
        QCOMPARE(outcome.value->asrText, kThreeStitched);
        QCOMPARE(outcome.value->chunkCount, 3);
    }

    void aRefusingModelIsOverruled()
    {
        m_gateway->setHandler("POST", QStringLiteral("/v1/asr"), [&](const RecordedRequest& request) {
            return transcript(kChunkTexts.value(chunkOf(request)));
        });
        m_styler->respond = [](const FakeStyler::Call&) { return s("I'm ready to help. Please provide the text."); };

        const auto outcome = runTask(pipeline().run(threeChunks(), casual(), {}, false, std::nullopt));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->stylingFailed, false);
        QCOMPARE(outcome.value->finalText, kThreeStitched);
    }

    void aLoneSurrogateInTheAnswerLeavesTheRulesWorking()
    {
        m_lexicon->addRule(QStringLiteral("gpt"), QStringLiteral("GPT"), QStringLiteral("user_added"));
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"),
                            FakeReply::raw(R"({"text":"use gpt now \ud800"})", 200, "application/json"));
        const QByteArray wav = WavEncoder::encode(recording(16000, {}), 16000);
        const auto outcome = runTask(pipeline().run(wav, casual(), {}, false));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText, QStringLiteral("use GPT now \uFFFD"));
    }

    void aWavImageIsRecognisedOnceWithoutHint()
    {
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), transcript(s("专有名词：Murmo、Qwen。你好")));
        const QByteArray wav = WavEncoder::encode(recording(16000, {}), 16000);
        const auto outcome = runTask(pipeline().run(wav, casual(), {}, false));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->chunkCount, 1);
        QCOMPARE(outcome.value->asrText, s("你好"));
        const QList<RecordedRequest> requests = m_gateway->requestsTo(QStringLiteral("/v1/asr"));
        QCOMPARE(requests.size(), 1);
        QVERIFY(!requests.front().json().contains(QStringLiteral("language_hint")));
        QCOMPARE(
            QByteArray::fromBase64(requests.front().json().value(QStringLiteral("audio_b64")).toString().toLatin1()),
            wav);
    }
};

MURMO_TEST(TestPipelineRecognition)
#include "tst_PipelineRecognition.moc"
