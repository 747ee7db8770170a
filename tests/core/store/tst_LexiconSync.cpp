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
struct Machine
{
    explicit Machine(const FakeGateway& gateway)
        : lexicon(std::make_shared<Lexicon>(dir.path()))
        , sync(GatewayClient(gateway.baseUrl(), FakeGateway::kDeviceToken, &transport), kKey)
    {}

    int runSync() const
    {
        const TaskOutcome<int> outcome = runTask(sync.sync(lexicon));
        if (outcome.error || !outcome.value)
            return -1000; // sync must never fail; the caller's comparison shows it
        return *outcome.value;
    }

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
        QCOMPARE(pairsOf(copy->rules), (Pairs{{"teh", "the"}}));
        QCOMPARE(copy->hotwords, QStringList{"Kelto"});
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
        QCOMPARE(pairsOf(copy->rules), (Pairs{{"teh", "the"}, {"recieve", "receive"}}));
        QCOMPARE(copy->hotwords, QStringList{"Kelto"});
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
        QCOMPARE(pairsOf(accountCopy(gateway)->rules), (Pairs{{"teh", "the"}}));
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

    void failedPushIsDropped()
    {
        FakeGateway gateway;
        gateway.storedLexicons.insert(kKey, document({{"recieve", "receive"}}).toBase64());
        gateway.setReply("PUT", "/v1/lexicon", FakeReply::closed());
        Machine a(gateway);

        QCOMPARE(a.runSync(), 1);
        QCOMPARE(pairsOf(a.lexicon->allRules()), (Pairs{{"recieve", "receive"}}));
        QCOMPARE(gateway.requestsTo("/v1/lexicon").last().method, QByteArray("PUT"));
        QCOMPARE(gateway.storedLexicons.value(kKey), document({{"recieve", "receive"}}).toBase64());
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
        QCOMPARE(pairsOf(copy->rules), union_);
        QCOMPARE(copy->hotwords, (QStringList{"Kelto", "西湖"}));
        // The account copy is what A holds, byte for byte, ids included.
        QCOMPARE(QByteArray::fromBase64(gateway.storedLexicons.value(kKey)), *a.lexicon->exportSnapshot());
    }
};

MURMO_TEST(TestLexiconSync)
#include "tst_LexiconSync.moc"
