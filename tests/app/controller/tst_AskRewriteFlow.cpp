#include "app/controller/AskRewriteFlow.h"
#include "app/controller/TextDelivery.h"
#include "app/feedback/AnswerModel.h"
#include "core/recognition/AsrError.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/FakeTranscriptSources.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QTest>

using namespace std::chrono_literals;

namespace {

struct FlowRig
{
    FakeApp fake;
    AppServices& app;
    TextDelivery delivery;
    AskRewriteFlow flow;

    explicit FlowRig(bool credential = true)
        : app(fake.build())
        , delivery(app.state(), app.overlay(), app.inserter(), fake.clipboard, fake.workspace)
        , flow({app.state(), app.settings(), app.personalData(), app.services(), fake.clock, app.overlay(),
                app.answerPopup(), delivery})
    {
        if (credential)
            app.settings().setValue(SettingKey::gatewayToken, QStringLiteral("tok"));
        app.settings().setValue(SettingKey::soundFX, false);
    }
    ~FlowRig() { deleteReleasedObjects(); }

    void transcriptIs(const QString& text)
    {
        fake.gateway.setReply("POST", QStringLiteral("/v1/asr"), FakeReply::json({{QStringLiteral("text"), text}}));
    }
    void gatewayAnswers(const QString& text)
    {
        fake.gateway.setReply("POST", QStringLiteral("/v1/ask"), FakeReply::json({{QStringLiteral("text"), text}}));
    }
    QList<RecordedRequest> requests(const QString& path) const
    {
        QList<RecordedRequest> found;
        for (const RecordedRequest& request : fake.gateway.requests())
            if (request.path == path)
                found.append(request);
        return found;
    }
    QString status() const { return app.state().statusLine(); }
    // Runs a flow to its end, letting the paste's steps pass on the manual clock.
    void finish(QCoro::Task<void> task)
    {
        while (!task.isReady()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            fake.clock.advance(10ms);
        }
        runTask(std::move(task));
    }
    // A second of speech, just stopped, made for purpose where scene says.
    FinishedRecording take(RecordingPurpose purpose, std::shared_ptr<StreamingTranscriptSource> session = nullptr,
                           RecordingScene scene = {})
    {
        return FinishedRecording{std::make_shared<const Samples>(oneSecondTake()),
                                 std::move(session),
                                 std::move(purpose),
                                 std::move(scene),
                                 app.state().advanceGeneration(),
                                 nullptr,
                                 std::nullopt};
    }
    QCoro::Task<void> ask(RecordingScene scene = {}, std::shared_ptr<StreamingTranscriptSource> session = nullptr)
    {
        return flow.ask(take(RecordingPurpose::ask(), std::move(session), std::move(scene)));
    }
    QCoro::Task<void> rewrite(const QString& selection, const QString& target,
                              std::shared_ptr<StreamingTranscriptSource> session = nullptr)
    {
        return flow.rewrite(take(RecordingPurpose::rewrite(selection), std::move(session),
                                 {std::nullopt, std::nullopt, QString(), target}));
    }
    AnswerModel& answerCard() { return *app.answerPopup().model(); }
};

RecordingScene sceneWith(const QString& title, const QString& nearby)
{
    return RecordingScene{RunningApplication{QStringLiteral("editor"), 7, QStringLiteral("Editor"), 0},
                          ScreenContext::Info{QStringLiteral("Editor"), title, nearby}, QString(),
                          QStringLiteral("gedit")};
}

} // namespace

class TestAskRewriteFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void askShowsTheAnswerAndKeepsIt()
    {
        FlowRig rig;
        rig.transcriptIs(QStringLiteral("  明天会下雨吗 \n"));
        rig.gatewayAnswers(QStringLiteral("会，下午有雨。"));
        runTask(rig.ask(sceneWith(QStringLiteral("   "), QStringLiteral(" 周末计划 "))));

        QCOMPARE(rig.answerCard().phase(), AnswerModel::Phase::answer);
        QCOMPARE(rig.answerCard().question(), QStringLiteral("明天会下雨吗"));
        QCOMPARE(rig.answerCard().answer(), QStringLiteral("会，下午有雨。"));
        QCOMPARE(rig.status(), rig.app.state().readyStatusLine());

        // The blank window title is left out; the app and nearby lines go with the question.
        const QList<RecordedRequest> asks = rig.requests(QStringLiteral("/v1/ask"));
        QCOMPARE(asks.size(), 1);
        QCOMPARE(asks[0].json().value(QStringLiteral("text")).toString(),
                 QStringLiteral(
                     "【屏幕上下文，仅供参考】\n当前应用：Editor\n附近文字：周末计划\n\n【我的问题】\n明天会下雨吗"));

        const QList<HistoryEntry> entries = rig.app.history().all();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].action, std::optional<QString>(QStringLiteral("ask")));
        QCOMPARE(entries[0].asrText, QStringLiteral("明天会下雨吗"));
        QCOMPARE(entries[0].finalText, QStringLiteral("会，下午有雨。"));
        QCOMPARE(entries[0].providerId, QStringLiteral("gateway"));
        QCOMPARE(entries[0].audioFileName, std::nullopt);
    }

    void entryNamesTheRecogniserThatRan_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("ask") << QStringLiteral("ask");
        QTest::newRow("rewrite") << QStringLiteral("rewrite");
    }

    // The assistants are the gateway's, but the recogniser may be the user's own.
    void entryNamesTheRecogniserThatRan()
    {
        QFETCH(QString, action);
        FlowRig rig;
        rig.app.settings().setValue(SettingKey::providerId, QStringLiteral("deepgram"));
        rig.app.settings().setValue(SettingKey::deepgramApiKey, QStringLiteral("dg-key"));
        const QJsonObject alternative{{QStringLiteral("transcript"), QStringLiteral("明天会下雨吗")}};
        const QJsonObject channel{{QStringLiteral("alternatives"), QJsonArray{alternative}}};
        const QJsonObject results{{QStringLiteral("channels"), QJsonArray{channel}}};
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/listen"),
                                  FakeReply::json({{QStringLiteral("results"), results}}));
        rig.gatewayAnswers(QStringLiteral("会。"));
        if (action == QLatin1String("ask"))
            runTask(rig.ask(sceneWith(QString(), QString())));
        else
            runTask(rig.rewrite(QStringLiteral("原文"), QStringLiteral("gedit")));

        QCOMPARE(rig.requests(QStringLiteral("/v1/listen")).size(), 1);
        const QList<HistoryEntry> entries = rig.app.history().all();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].action, std::optional(action));
        QCOMPARE(entries[0].providerId, QStringLiteral("deepgram"));
    }

    void askWithoutContextSendsTheBareQuestion()
    {
        FlowRig rig;
        runTask(rig.ask());
        const QList<RecordedRequest> asks = rig.requests(QStringLiteral("/v1/ask"));
        QCOMPARE(asks.size(), 1);
        QCOMPARE(asks[0].json().value(QStringLiteral("text")).toString(), FakeGateway::kTranscript);
    }

    // The screen context read from a password field never reaches the question.
    void passwordFieldStaysOffTheQuestion()
    {
        FlowRig rig;
        std::shared_ptr<FakeField> field = rig.fake.accessibility.addFocusedField(QStringLiteral("hunter2-secret"));
        field->secret = true;
        field->selectionEnd = field->value.size();
        rig.fake.accessibility.windowTitles.insert(42, QStringLiteral("Sign in"));
        const TaskOutcome<ScreenContext::Info> screen = runTask(ScreenContext::read(
            &rig.fake.accessibility, &rig.fake.workspace, QStringLiteral("Browser"), qint32(42), true));
        QVERIFY(screen.value);
        runTask(rig.ask({RunningApplication{QStringLiteral("browser"), 42, QStringLiteral("Browser"), 0}, screen.value,
                         QString(), std::nullopt}));
        const QList<RecordedRequest> asks = rig.requests(QStringLiteral("/v1/ask"));
        QCOMPARE(asks.size(), 1);
        const QString sent = asks[0].json().value(QStringLiteral("text")).toString();
        QVERIFY(sent.contains(QStringLiteral("当前应用：Browser")));
        QVERIFY(!sent.contains(QStringLiteral("hunter2")));
        QVERIFY(!sent.contains(QStringLiteral("附近文字")));
    }

    // A recording started while the answer was on its way takes over: no card, no entry.
    void newerRecordingDropsTheAnswer()
    {
        FlowRig rig;
        AppState& state = rig.app.state();
        rig.fake.gateway.setHandler("POST", QStringLiteral("/v1/ask"), [&state](const RecordedRequest&) {
            state.advanceGeneration();
            return FakeReply::json({{QStringLiteral("text"), QStringLiteral("迟到的回答")}});
        });
        const QString status = rig.status();
        runTask(rig.ask());
        QCOMPARE(rig.answerCard().phase(), AnswerModel::Phase::thinking);
        QCOMPARE(rig.answerCard().answer(), QString());
        QVERIFY(rig.app.history().all().isEmpty());
        QCOMPARE(rig.status(), status);
    }

    void withoutGateway_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QString>("line");
        QTest::newRow("ask") << true << "提问需要网络连接";
        QTest::newRow("rewrite") << false << "改写需要网络连接";
    }

    // With the gateway turned off nothing is sent, the session is closed rather than left open,
    // and the capsule says why.
    void withoutGateway()
    {
        QFETCH(bool, ask);
        QFETCH(QString, line);
        FlowRig rig;
        rig.app.settings().setValue(SettingKey::useGateway, false);
        auto session = std::make_shared<FakeStreamingTranscriptSource>(rig.fake.clock);
        if (ask)
            runTask(rig.ask({}, session));
        else
            runTask(rig.rewrite(QStringLiteral("原文"), QStringLiteral("gedit"), session));
        QCOMPARE(rig.status(), line);
        QCOMPARE(rig.app.overlay().model()->phase(), OverlayModel::Phase::failed);
        QCOMPARE(session->closeCodes, QList<int>{1001});
        QVERIFY(rig.fake.gateway.requests().isEmpty());
        QVERIFY(rig.app.history().all().isEmpty());
    }

    void askWithoutAnAnswerFails_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        QTest::newRow("no text") << QJsonObject{{QStringLiteral("ok"), true}};
        QTest::newRow("blank text") << QJsonObject{{QStringLiteral("text"), QStringLiteral(" \n ")}};
    }

    // The card says the question failed, and nothing is kept.
    void askWithoutAnAnswerFails()
    {
        QFETCH(QJsonObject, answer);
        FlowRig rig;
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/ask"), FakeReply::json(answer));
        runTask(rig.ask());
        QVERIFY(rig.status().startsWith(QStringLiteral("提问失败：")));
        QCOMPARE(rig.answerCard().phase(), AnswerModel::Phase::failed);
        QVERIFY(rig.app.history().all().isEmpty());
    }

    // A failed recognition must not leave the capsule saying "processing" for ever.
    void askRecognitionFailure()
    {
        FlowRig rig;
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("boom", 500));
        runTask(rig.ask());
        QVERIFY(rig.status().startsWith(QStringLiteral("提问失败：")));
        QCOMPARE(rig.answerCard().phase(), AnswerModel::Phase::failed);
        QCOMPARE(rig.answerCard().answer(), QStringLiteral("回答失败：") + rig.status().mid(5));
        rig.fake.clock.advance(300ms); // the fade
        QVERIFY(!rig.app.overlay().isShowing());
        QVERIFY(rig.requests(QStringLiteral("/v1/ask")).isEmpty());
        QVERIFY(rig.app.history().all().isEmpty());
    }

    void emptyTranscript_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::newRow("ask") << true;
        QTest::newRow("rewrite") << false;
    }

    void emptyTranscript()
    {
        QFETCH(bool, ask);
        FlowRig rig;
        rig.transcriptIs(QStringLiteral(" \n "));
        if (ask)
            runTask(rig.ask());
        else
            runTask(rig.rewrite(QStringLiteral("原文"), QStringLiteral("gedit")));
        QCOMPARE(rig.status(), QStringLiteral("未识别到语音"));
        rig.fake.clock.advance(300ms); // the fade
        QVERIFY(!rig.app.overlay().isShowing());
        QVERIFY(rig.requests(QStringLiteral("/v1/ask")).isEmpty());
        QVERIFY(rig.app.history().all().isEmpty());
    }

    // A failing session falls back to batch recognition of the take.
    void failedSessionFallsBackToBatch()
    {
        FlowRig rig;
        auto session = std::make_shared<FakeStreamingTranscriptSource>(rig.fake.clock);
        session->failAfter(0ms, std::make_exception_ptr(AsrError::httpError(0, QStringLiteral("断线"))));
        QCoro::Task<void> task = rig.ask({}, session);
        rig.fake.clock.advance(10ms);
        runTask(std::move(task));
        QCOMPARE(rig.requests(QStringLiteral("/v1/asr")).size(), 1);
        QCOMPARE(rig.answerCard().question(), FakeGateway::kTranscript);
        QCOMPARE(rig.answerCard().phase(), AnswerModel::Phase::answer);
    }

    // A session that fails once the take's batch request has failed leaves the take at that: it
    // is not uploaded a second time.
    void failedSessionAfterAFailedBatchSendsNothingAgain_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::newRow("ask") << true;
        QTest::newRow("rewrite") << false;
    }

    void failedSessionAfterAFailedBatchSendsNothingAgain()
    {
        QFETCH(bool, ask);
        FlowRig rig;
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("boom", 500));
        auto session = std::make_shared<FakeStreamingTranscriptSource>(rig.fake.clock);
        session->failAfter(3s, std::make_exception_ptr(AsrError::httpError(0, QStringLiteral("断线"))));
        QCoro::Task<void> task =
            ask ? rig.ask({}, session) : rig.rewrite(QStringLiteral("原文"), QStringLiteral("gedit"), session);
        rig.fake.clock.advance(TranscriptRace::kRaceDelay);
        QTRY_COMPARE(rig.requests(QStringLiteral("/v1/asr")).size(), 1);
        rig.finish(std::move(task));
        QCOMPARE(rig.requests(QStringLiteral("/v1/asr")).size(), 1);
        QVERIFY(rig.status().startsWith(ask ? QStringLiteral("提问失败：") : QStringLiteral("改写失败：")));
    }

    void rewriteReplacesTheSelection_data()
    {
        QTest::addColumn<bool>("comesToTheFront");
        QTest::addColumn<QString>("status");
        QTest::newRow("typed") << true << "✓ 已改写并替换";
        QTest::newRow("the target never comes back: copied") << false << "已复制 · 按 Ctrl+V 替换";
    }

    void rewriteReplacesTheSelection()
    {
        QFETCH(bool, comesToTheFront);
        QFETCH(QString, status);
        FlowRig rig;
        rig.fake.workspace.addApplication(QStringLiteral("gedit"), 42, QStringLiteral("Gedit"));
        rig.fake.workspace.addApplication(QStringLiteral("xterm"), 43, QStringLiteral("XTerm"));
        rig.fake.workspace.frontPid = 43;
        if (!comesToTheFront)
            rig.fake.workspace.activationDelay = -1;
        rig.transcriptIs(QStringLiteral("改成正式一点"));
        rig.gatewayAnswers(QStringLiteral("  您好，会议改到周三。\n"));
        QStringList inserted;
        QObject::connect(&rig.app.inserter(), &TextInserter::inserted, &rig.app.inserter(),
                         [&inserted](const QString& text) { inserted << text; });
        rig.finish(rig.rewrite(QStringLiteral("会议改周三"), QStringLiteral("gedit")));

        QCOMPARE(rig.status(), status);
        QCOMPARE(rig.app.overlay().model()->inserted(), comesToTheFront);
        QCOMPARE(inserted.isEmpty(), !comesToTheFront);
        const QList<RecordedRequest> asks = rig.requests(QStringLiteral("/v1/ask"));
        QCOMPARE(asks.size(), 1);
        QCOMPARE(asks[0].json().value(QStringLiteral("text")).toString(),
                 QStringLiteral("【指令】改成正式一点\n\n【原文】会议改周三"));
        const QList<HistoryEntry> entries = rig.app.history().all();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].action, std::optional<QString>(QStringLiteral("rewrite")));
        QCOMPARE(entries[0].asrText, QStringLiteral("改成正式一点"));
        QCOMPARE(entries[0].finalText, QStringLiteral("您好，会议改到周三。"));
        QCOMPARE(entries[0].audioFileName, std::nullopt);
    }

    void rewriteForThisProgramGoesToTheClipboard()
    {
        FlowRig rig;
        rig.gatewayAnswers(QStringLiteral("新文字"));
        runTask(rig.rewrite(QStringLiteral("旧文字"), rig.fake.workspace.ownId));
        QCOMPARE(rig.status(), QStringLiteral("已复制 · 按 Ctrl+V 替换"));
        QCOMPARE(rig.fake.clipboard.text(), std::optional<QString>(QStringLiteral("新文字")));
    }

    void rewriteToNothingFails()
    {
        FlowRig rig;
        rig.fake.clipboard.setText(QStringLiteral("user's clip"));
        rig.gatewayAnswers(QStringLiteral(" \n\t "));
        runTask(rig.rewrite(QStringLiteral("旧文字"), QStringLiteral("gedit")));
        QCOMPARE(rig.status(), QStringLiteral("改写失败：识别结果为空"));
        QCOMPARE(rig.app.overlay().model()->phase(), OverlayModel::Phase::failed);
        QCOMPARE(rig.fake.clipboard.text(), std::optional<QString>(QStringLiteral("user's clip")));
        QVERIFY(rig.app.history().all().isEmpty());
    }
};

MURMO_TEST(TestAskRewriteFlow)
#include "tst_AskRewriteFlow.moc"
