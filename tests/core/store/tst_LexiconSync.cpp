#include "core/net/HttpTransport.h"
#include "core/store/Lexicon.h"
#include "core/store/LexiconSnapshot.h"
#include "core/store/LexiconSync.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace LexiconFixtures;
using Pairs = QList<CorrectionPair>;

namespace {

const QString kKey = QStringLiteral("kelto-personal");

Pairs pairsOf(const QList<LearnedRule>& rules)
{
    Pairs out;
    for (const LearnedRule& rule : rules)
        out.append({rule.wrong, rule.right});
    return out;
}

// One machine: its own data folder and lexicon, talking to the shared fake gateway.
std::shared_ptr<Lexicon> lexiconIn(const QTemporaryDir& dir, const QByteArray& file)
{
    if (!file.isEmpty())
        writeFile(dir.filePath(Lexicon::kFileName), file);
    return std::make_shared<Lexicon>(dir.path());
}

// One machine: its own data folder and lexicon, talking to the shared fake gateway.
struct Machine
{
    explicit Machine(const FakeGateway& gateway, const QByteArray& lexiconFile = {})
        : lexicon(lexiconIn(dir, lexiconFile))
        , sync(GatewayClient(gateway.baseUrl(), FakeGateway::kDeviceToken, &transport), kKey)
    {}

    LexiconSync::Pass runPass() const
    {
        const TaskOutcome<LexiconSync::Pass> outcome = runTask(sync.sync(lexicon));
        if (outcome.error || !outcome.value)
            return {-1000, false, {}}; // sync must never fail; the caller's comparison shows it
        return *outcome.value;
    }

    int runSync() const { return runPass().added; }

    QTemporaryDir dir;
    HttpTransport transport;
    std::shared_ptr<Lexicon> lexicon;
    LexiconSync sync;
};

std::optional<LexiconSnapshot> accountCopy(const FakeGateway& gateway)
{
    if (!gateway.storedLexicons.contains(kKey))
        return std::nullopt;
    return LexiconSnapshot::decode(QByteArray::fromBase64(gateway.storedLexicons.value(kKey)));
}

} // namespace

class TestLexiconSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstSyncCreatesTheAccountCopy()
    {
        FakeGateway gateway;
        Machine a(gateway);
        a.lexicon->addRule("teh", "the", "user_added");
        a.lexicon->addHotword("Kelto");

        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(a.runSync(), 0);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();

        const QList<RecordedRequest> requests = gateway.requestsTo("/v1/lexicon");
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("GET"));
        QCOMPARE(requests[0].query.queryItemValue("key"), kKey);
        QCOMPARE(requests[0].header("Authorization"), "Bearer " + FakeGateway::kDeviceToken.toUtf8());
        QCOMPARE(requests[1].method, QByteArray("PUT"));
        const QJsonObject body = requests[1].json();
        QCOMPARE(body.value("key").toString(), kKey);
        QCOMPARE(QByteArray::fromBase64(body.value("blob").toString().toLatin1()), *a.lexicon->exportSnapshot());
        const qint64 updatedAt = body.value("updatedAt").toInteger();
        QVERIFY2(updatedAt >= before && updatedAt <= after, qPrintable(QString::number(updatedAt)));

        const std::optional<LexiconSnapshot> copy = accountCopy(gateway);
        QVERIFY(copy);
        QCOMPARE(pairsOf(copy->rules.toList()), (Pairs{{"teh", "the"}}));
        QCOMPARE(copy->hotwords.toStringList(), QStringList{"Kelto"});
    }

    void localRuleWinsAndOverwritesTheAccount()
    {
        FakeGateway gateway;
        gateway.storedLexicons.insert(
            kKey, document({{"teh", "tea", 4, "seed", idNumber(1)}, {"recieve", "receive", 2, "seed", idNumber(2)}},
                           {"Kelto"})
                      .toBase64());
        Machine a(gateway);
        a.lexicon->addRule("teh", "the", "user_added");

        QCOMPARE(a.runSync(), 2); // the other rule and the hotword; not the conflicting rule
        QCOMPARE(pairsOf(a.lexicon->allRules()), (Pairs{{"teh", "the"}, {"recieve", "receive"}}));
        QCOMPARE(a.lexicon->allRules()[1].hitCount, 2);
        const std::optional<LexiconSnapshot> copy = accountCopy(gateway);
        QVERIFY(copy);
        QCOMPARE(pairsOf(copy->rules.toList()), (Pairs{{"teh", "the"}, {"recieve", "receive"}}));
        QCOMPARE(copy->hotwords.toStringList(), QStringList{"Kelto"});
    }

    void ruleRemovedLocallyComesBack()
    {
        FakeGateway gateway;
        Machine a(gateway);
        a.lexicon->addRule("teh", "the", "user_added");
        QCOMPARE(a.runSync(), 0);
        a.lexicon->removeRule(a.lexicon->allRules().first().id);
        QVERIFY(a.lexicon->allRules().isEmpty());

        QCOMPARE(a.runSync(), 1);
        QCOMPARE(pairsOf(a.lexicon->allRules()), (Pairs{{"teh", "the"}}));
        QCOMPARE(pairsOf(accountCopy(gateway)->rules.toList()), (Pairs{{"teh", "the"}}));
    }

    void failedFetchLeavesTheAccountCopyAlone_data()
    {
        QTest::addColumn<FakeReply>("fetchReply");

        QTest::newRow("connection closed") << FakeReply::closed();
        QTest::newRow("answer not JSON") << FakeReply::raw("<html>", 200, "text/html");
        QTest::newRow("server fault") << FakeReply::raw("", 500);
        QTest::newRow("blob not base64") << FakeReply::json({{"blob", "a*b="}});
        QTest::newRow("blob not a lexicon")
            << FakeReply::json({{"blob", QString::fromLatin1(QByteArray("[1]").toBase64())}});
    }

    void failedFetchLeavesTheAccountCopyAlone()
    {
        QFETCH(FakeReply, fetchReply);
        FakeGateway gateway;
        const QByteArray stored = document({{"recieve", "receive"}}).toBase64();
        gateway.storedLexicons.insert(kKey, stored);
        gateway.setReply("GET", "/v1/lexicon", fetchReply);
        Machine a(gateway);
        a.lexicon->addRule("teh", "the", "user_added");

        QCOMPARE(a.runSync(), 0);
        QCOMPARE(pairsOf(a.lexicon->allRules()), (Pairs{{"teh", "the"}}));
        QCOMPARE(gateway.storedLexicons.value(kKey), stored);
        for (const RecordedRequest& request : gateway.requestsTo("/v1/lexicon"))
            QCOMPARE(request.method, QByteArray("GET"));
    }

    void aPassThatCannotKeepTheCopySaysWhy_data()
    {
        QTest::addColumn<FakeReply>("pushReply");
        QTest::addColumn<QByteArray>("accountCopy");
        QTest::addColumn<QByteArray>("localFile");
        QTest::addColumn<QString>("stopped");
        QTest::addColumn<bool>("waitForNextStart");
        QTest::addColumn<QList<QByteArray>>("methods");

        const QByteArray small = document({{"recieve", "receive"}});
        // No machine could read such a copy back: it is not sent, nor is the account's copy
        // fetched for it.
        const qint64 limit = GatewayClient::lexiconCopyLimit(kKey);
        const QByteArray tooLarge = lexiconOfSize(limit + 1);
        const QList<QByteArray> fetchAndPush{"GET", "PUT"};
        QTest::newRow("gateway refuses the copy") << FakeReply::raw("too large", 413) << small << QByteArray()
                                                  << QStringLiteral("HTTP 413") << false << fetchAndPush;
        QTest::newRow("gateway fails") << FakeReply::raw("", 500) << small << QByteArray() << QStringLiteral("HTTP 500")
                                       << false << fetchAndPush;
        QTest::newRow("lexicon too large to read back") << FakeReply::raw("", 200) << QByteArray() << tooLarge
                                                        << QStringLiteral("已停止同步") << false << QList<QByteArray>{};
        QTest::newRow("merged lexicon too large to read back")
            << FakeReply::raw("", 200) << lexiconOfSize(300000, "b") << lexiconOfSize(limit - 200000)
            << QStringLiteral("已停止同步") << false << QList<QByteArray>{"GET"};
        QTest::newRow("account copy too large to read")
            << FakeReply::raw("", 200) << tooLarge << QByteArray() << QStringLiteral("下次启动时重试") << true
            << QList<QByteArray>{"GET"};
        // A connection that drops may well hold next time: nothing to say yet.
        QTest::newRow("connection dropped")
            << FakeReply::closed() << small << QByteArray() << QString() << false << fetchAndPush;
    }

    void aPassThatCannotKeepTheCopySaysWhy()
    {
        QFETCH(FakeReply, pushReply);
        QFETCH(QByteArray, accountCopy);
        QFETCH(QByteArray, localFile);
        QFETCH(QString, stopped);
        QFETCH(bool, waitForNextStart);
        QFETCH(QList<QByteArray>, methods);
        FakeGateway gateway;
        if (!accountCopy.isEmpty())
            gateway.storedLexicons.insert(kKey, accountCopy.toBase64());
        gateway.setReply("PUT", "/v1/lexicon", pushReply);
        Machine a(gateway, localFile);

        const LexiconSync::Pass pass = a.runPass();
        QVERIFY(!pass.pushed);
        QCOMPARE(pass.stopped.isEmpty(), stopped.isEmpty());
        QVERIFY2(pass.stopped.contains(stopped), qPrintable(pass.stopped));
        QCOMPARE(pass.waitForNextStart, waitForNextStart);
        QCOMPARE(gateway.storedLexicons.value(kKey), accountCopy.toBase64());
        QList<QByteArray> sent;
        for (const RecordedRequest& request : gateway.requestsTo("/v1/lexicon"))
            sent.append(request.method);
        sent.erase(std::unique(sent.begin(), sent.end()), sent.end()); // a request tried again is still one
        QCOMPARE(sent, methods);
        if (accountCopy == document({{"recieve", "receive"}}))
            QCOMPARE(pass.added, 1);
    }

    void twoMachinesConvergeOnTheUnion()
    {
        FakeGateway gateway;
        Machine a(gateway);
        Machine b(gateway);
        a.lexicon->addRule("teh", "the", "user_added");
        a.lexicon->addHotword("Kelto");
        b.lexicon->addRule("recieve", "receive", "user_added");
        b.lexicon->addHotword("西湖");

        QCOMPARE(a.runSync(), 0);
        QCOMPARE(b.runSync(), 2);
        QCOMPARE(a.runSync(), 2);

        const Pairs union_{{"teh", "the"}, {"recieve", "receive"}};
        QCOMPARE(pairsOf(a.lexicon->allRules()), union_);
        QCOMPARE(pairsOf(b.lexicon->allRules()), (Pairs{{"recieve", "receive"}, {"teh", "the"}}));
        QCOMPARE(a.lexicon->hotwords(), (QStringList{"the", "receive", "Kelto", "西湖"}));
        const std::optional<LexiconSnapshot> copy = accountCopy(gateway);
        QVERIFY(copy);
        QCOMPARE(pairsOf(copy->rules.toList()), union_);
        QCOMPARE(copy->hotwords.toStringList(), (QStringList{"Kelto", "西湖"}));
        // The account copy is what A holds, byte for byte, ids included.
        QCOMPARE(QByteArray::fromBase64(gateway.storedLexicons.value(kKey)), *a.lexicon->exportSnapshot());
    }
};

MURMO_TEST(TestLexiconSync)
#include "tst_LexiconSync.moc"
