#include "core/recognition/AsrError.h"
#include "core/recognition/DictationRoads.h"
#include "core/store/Lexicon.h"
#include "tests/core/text/PipelineFakes.h"
#include "tests/support/FakeTranscriptSources.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

// How the streaming session of a road case ends: no session at all, a transcript at atMs, a
// failure at atMs, or silence until its time-out.
struct RoadSession
{
    enum class Ends
    {
        none,
        answers,
        fails,
        silent,
    };
    Ends ends = Ends::none;
    int atMs = 0;
    QString text;
};

// One dictation's world on a manual clock: batch recognition answers after 1.2 s ("整段识别"
// unless told otherwise; none: it fails), the styler echoes what it is asked.
struct RoadsRig
{
    explicit RoadsRig(std::optional<QString> batchText = QStringLiteral("整段识别"))
        : batch(std::make_shared<ScriptedAsrProvider>(clock, 1200ms, std::move(batchText)))
    {}

    ManualClock clock;
    QTemporaryDir dir;
    std::shared_ptr<ScriptedAsrProvider> batch;
    std::shared_ptr<FakeStyler> styler = std::make_shared<FakeStyler>();
    DictationRoads roads{clock};

    DictationRoads::Request request(const RoadSession& session, const QString& mode, const QString& partial)
    {
        std::shared_ptr<FakeStreamingTranscriptSource> source;
        if (session.ends != RoadSession::Ends::none)
            source = std::make_shared<FakeStreamingTranscriptSource>(clock);
        if (session.ends == RoadSession::Ends::answers)
            source->answerAfter(milliseconds(session.atMs), session.text);
        if (session.ends == RoadSession::Ends::fails)
            source->failAfter(milliseconds(session.atMs),
                              std::make_exception_ptr(AsrError::httpError(502, QStringLiteral("stream broke"))));
        DictationPipeline pipeline(batch, styler, std::make_shared<Lexicon>(dir.path()), StyleMode::builtins(), &clock);
        return {source, std::move(pipeline), *StyleMode::byId(mode), StylePreferences(), false, std::nullopt, {},
                partial};
    }

    // Advances in 100 ms steps until the dictation has its text.
    TaskOutcome<DictationPipeline::Output> run(DictationRoads::Request request, qsizetype samples)
    {
        QCoro::Task<DictationPipeline::Output> task =
            roads.run(std::move(request), std::make_shared<const Samples>(std::size_t(samples), 0.2f));
        while (!task.isReady() && clock.now() < 60s)
            clock.advance(100ms);
        return runTask(std::move(task));
    }

    QStringList styled() const
    {
        QStringList texts;
        for (const FakeStyler::Call& call : styler->calls)
            texts << call.text;
        return texts;
    }
};

} // namespace

Q_DECLARE_METATYPE(RoadSession)

// Which road a take goes, told by the requests it makes and the transcript it ends with.
class TestDictationRoads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roadOfATake_data()
    {
        using Ends = RoadSession::Ends;
        QTest::addColumn<RoadSession>("session");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<qsizetype>("samples");
        QTest::addColumn<QString>("partial");
        QTest::addColumn<int>("batchRequests");
        QTest::addColumn<QStringList>("styled");
        QTest::addColumn<QString>("asrText");
        const QString batch = QStringLiteral("整段识别");
        const QString streamed = QStringLiteral("流式结果");
        QTest::newRow("no session: the whole take in batch")
            << RoadSession{} << "casual" << qsizetype(16000) << QString() << 1 << QStringList{batch} << batch;
        QTest::newRow("a quick session costs no batch request")
            << RoadSession{Ends::answers, 1000, streamed} << "casual" << qsizetype(16000) << QString() << 0
            << QStringList{streamed} << streamed;
        QTest::newRow("a silent session loses to batch")
            << RoadSession{Ends::silent, 0, QString()} << "casual" << qsizetype(16000) << QString() << 1
            << QStringList{batch} << batch;
        QTest::newRow("a broken session falls back to batch")
            << RoadSession{Ends::fails, 0, QString()} << "casual" << qsizetype(16000) << QString() << 1
            << QStringList{batch} << batch;
        QTest::newRow("an empty transcript is recognised again in batch")
            << RoadSession{Ends::answers, 1000, QStringLiteral(" ")} << "casual" << qsizetype(16000) << QString() << 1
            << QStringList{batch} << batch;
        QTest::newRow("formal from 3 s: batch cross-checks at once")
            << RoadSession{Ends::answers, 1000, batch} << "formal" << qsizetype(48000) << QString() << 1
            << QStringList{batch} << batch;
        QTest::newRow("formal under 3 s: the race")
            << RoadSession{Ends::answers, 1000, streamed} << "formal" << qsizetype(47999) << QString() << 0
            << QStringList{streamed} << streamed;
        QTest::newRow("a partial that agrees is styled early and kept")
            << RoadSession{Ends::answers, 1000, QStringLiteral(" 今天  天气不错\n")} << "casual" << qsizetype(16000)
            << QStringLiteral("今天 天气不错") << 0 << QStringList{QStringLiteral("今天 天气不错")}
            << QStringLiteral("今天 天气不错");
        QTest::newRow("a partial that differs is styled again")
            << RoadSession{Ends::answers, 1000, QStringLiteral("今天天气不错")} << "casual" << qsizetype(16000)
            << QStringLiteral("今天 天气不错") << 0
            << QStringList{QStringLiteral("今天 天气不错"), QStringLiteral("今天天气不错")}
            << QStringLiteral("今天天气不错");
        QTest::newRow("a short partial waits for the transcript")
            << RoadSession{Ends::answers, 1000, QStringLiteral("你好")} << "casual" << qsizetype(16000)
            << QStringLiteral("你好 ") << 0 << QStringList{QStringLiteral("你好")} << QStringLiteral("你好");
    }

    void roadOfATake()
    {
        QFETCH(RoadSession, session);
        QFETCH(QString, mode);
        QFETCH(qsizetype, samples);
        QFETCH(QString, partial);
        QFETCH(int, batchRequests);
        QFETCH(QStringList, styled);
        QFETCH(QString, asrText);
        RoadsRig rig;
        const TaskOutcome<DictationPipeline::Output> outcome = rig.run(rig.request(session, mode, partial), samples);
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText.trimmed(), asrText);
        QCOMPARE(rig.batch->requests.size(), batchRequests);
        QCOMPARE(rig.styled(), styled);
    }

    // Every batch request of a dictation sends the hot words read once at its stop, whichever road
    // it goes: the lexicon is not read again.
    void batchSendsTheVocabularyOfTheStop_data()
    {
        using Ends = RoadSession::Ends;
        QTest::addColumn<RoadSession>("session");
        QTest::newRow("no session") << RoadSession{};
        QTest::newRow("a session that heard nothing") << RoadSession{Ends::answers, 500, QString()};
    }

    void batchSendsTheVocabularyOfTheStop()
    {
        QFETCH(RoadSession, session);
        RoadsRig rig;
        DictationRoads::Request request = rig.request(session, QStringLiteral("casual"), {});
        request.vocabulary = QStringList{QStringLiteral("Murmo")};
        const TaskOutcome<DictationPipeline::Output> outcome = rig.run(std::move(request), 16000);
        QVERIFY(outcome.value);
        QCOMPARE(rig.batch->requests.size(), 1);
        for (const ScriptedAsrProvider::Request& sent : std::as_const(rig.batch->requests))
            QCOMPARE(sent.vocabulary, QStringList{QStringLiteral("Murmo")});
    }

    void anEndedBatchIsNotSentAgain_data()
    {
        using Ends = RoadSession::Ends;
        QTest::addColumn<RoadSession>("session");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<std::optional<QString>>("batchText");
        QTest::addColumn<bool>("fails");
        QTest::newRow("a silent session and a failing batch")
            << RoadSession{Ends::silent, 0, QString()} << "casual" << std::optional<QString>() << true;
        QTest::newRow("both hear nothing")
            << RoadSession{Ends::silent, 0, QString()} << "casual" << std::optional(QString()) << false;
        QTest::newRow("formal: both hear nothing")
            << RoadSession{Ends::answers, 1000, QString()} << "formal" << std::optional(QString()) << false;
    }

    // A batch request that has ended (timed out, failed or heard nothing) is the take's one
    // upload: the dictation fails or ends empty rather than waiting for the same again.
    void anEndedBatchIsNotSentAgain()
    {
        QFETCH(RoadSession, session);
        QFETCH(QString, mode);
        QFETCH(std::optional<QString>, batchText);
        QFETCH(bool, fails);
        RoadsRig rig(batchText);
        const TaskOutcome<DictationPipeline::Output> outcome = rig.run(rig.request(session, mode, {}), 48000);
        QCOMPARE(rig.batch->requests.size(), 1);
        QCOMPARE(!outcome.value, fails);
        if (outcome.value)
            QVERIFY(outcome.value->finalText.isEmpty());
    }
};

MURMO_TEST(TestDictationRoads)
#include "tst_DictationRoads.moc"
