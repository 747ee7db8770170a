#include "core/account/SessionStore.h"
#include "core/account/WithFreshToken.h"
#include "core/net/HttpTransport.h"
#include "core/net/ServiceEndpoints.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RequestsInFlight.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QDateTime kStart(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
const QString kService = QStringLiteral("com.kelto.murmo.session");
const QString kAccount = QStringLiteral("supabase");

SupabaseAuth::TokenPair pairExpiringIn(std::chrono::seconds left, const QString& access = QStringLiteral("old-access"))
{
    return {access, QStringLiteral("refresh-0"), kStart.addSecs(left.count()), QStringLiteral("user@example.com")};
}

} // namespace

class TestSessionStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeSignInService> m_service;
    std::unique_ptr<FakeSecretStore> m_secrets;
    std::unique_ptr<ManualClock> m_clock;
    HttpTransport m_transport;
    // How far the calendar is from the monotonic clock: a suspend moves it on, a user sets it back.
    qint64 m_calendarShiftMs = 0;

    std::unique_ptr<SessionStore> makeStore(bool configured = true)
    {
        auto store = std::make_unique<SessionStore>(*m_secrets, m_transport, *m_clock,
                                                    configured ? std::optional(m_service->config()) : std::nullopt);
        store->setWallClock([this] { return kStart.addMSecs(m_clock->now().count() + m_calendarShiftMs); });
        return store;
    }

    // An hour's pair, held until `left` remains of it (the computer slept meanwhile).
    SupabaseAuth::TokenPair adoptAged(SessionStore& store, std::chrono::seconds left)
    {
        const SupabaseAuth::TokenPair pair = pairExpiringIn(3600s);
        store.adopt(pair);
        m_calendarShiftMs = (3600 - left.count()) * 1000;
        return pair;
    }

    std::unique_ptr<SessionStore> loadedStore(bool configured = true)
    {
        auto store = makeStore(configured);
        runTask(store->load());
        return store;
    }

    int refreshRequests() const { return int(m_service->requestsTo(QStringLiteral("/auth/v1/token")).size()); }

private Q_SLOTS:
    void init()
    {
        m_service = std::make_unique<FakeSignInService>();
        m_secrets = std::make_unique<FakeSecretStore>();
        m_clock = std::make_unique<ManualClock>();
        m_transport.setTimeoutCap(20s);
        m_calendarShiftMs = 0;
    }

    void cleanup()
    {
        m_service.reset();
        m_secrets.reset();
        m_clock.reset();
    }

    void startsFromWhatTheKeyringHolds_data()
    {
        QTest::addColumn<QByteArray>("stored"); // null: no item
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("no refresh token") << QByteArray(R"({"accessToken":"a","expiresAt":1})") << false;
        QTest::newRow("expired pair") << pairExpiringIn(-100s).toJson() << true;
    }

    void startsFromWhatTheKeyringHolds()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, signedIn);
        if (!stored.isNull())
            m_secrets->setItem(kService, kAccount, stored);
        const auto store = loadedStore();
        QVERIFY(store->isLoaded());
        QCOMPARE(store->isLoggedIn(), signedIn);
        QCOMPARE(store->currentAccessToken().has_value(), signedIn);
        QCOMPARE(store->email().has_value(), signedIn);
        // Whatever was there stays; nothing is sent at start.
        QCOMPARE(m_secrets->item(kService, kAccount).value_or(QByteArray()), stored);
        QCOMPARE(m_service->requests().size(), 0);
    }

    void aRestartRestoresTheSessionOrItsAbsence()
    {
        const auto pair = pairExpiringIn(3600s);
        {
            const auto store = loadedStore();
            store->adopt(pair);
        }
        auto restarted = loadedStore();
        QVERIFY(restarted->isLoggedIn());
        QCOMPARE(restarted->currentAccessToken(), pair.accessToken);
        QCOMPARE(restarted->email(), pair.email);
        restarted->signOut();
        restarted.reset();
        QVERIFY(!loadedStore()->isLoggedIn());
    }

    void aSignInDuringTheKeyringReadWins()
    {
        m_secrets->setItem(kService, kAccount, pairExpiringIn(3600s, QStringLiteral("stored")).toJson());
        m_secrets->holdReads();
        const auto store = makeStore();
        auto loading = store->load();
        auto waiting = store->waitUntilLoaded(2s);
        store->adopt(pairExpiringIn(3600s, QStringLiteral("fresh")));
        m_secrets->releaseReads();
        runTask(std::move(loading));
        QCOMPARE(runTask(std::move(waiting)).value, true);
        QCOMPARE(store->currentAccessToken(), QStringLiteral("fresh"));
    }

    void waitingForTheKeyringIsBounded()
    {
        m_secrets->holdReads();
        const auto store = makeStore();
        auto loading = store->load();
        auto waiting = store->waitUntilLoaded(2s);
        m_clock->advance(1999ms);
        QVERIFY(!store->isLoaded());
        m_clock->advance(1ms);
        QCOMPARE(runTask(std::move(waiting)).value, false);
        m_secrets->releaseReads();
        runTask(std::move(loading));
        QCOMPARE(runTask(store->waitUntilLoaded(2s)).value, true);
    }

    void renewsOnlyWithinTheMargin_data()
    {
        QTest::addColumn<int>("secondsLeft");
        QTest::addColumn<bool>("renews");
        QTest::newRow("301 s") << 301 << false;
        QTest::newRow("300 s") << 300 << true;
        QTest::newRow("expired") << -5 << true;
    }

    void renewsOnlyWithinTheMargin()
    {
        QFETCH(int, secondsLeft);
        QFETCH(bool, renews);
        const auto store = loadedStore();
        adoptAged(*store, std::chrono::seconds(secondsLeft));
        const auto token = runTask(store->validAccessToken()).value;
        QVERIFY(token && *token);
        QCOMPARE(refreshRequests(), renews ? 1 : 0);
        QCOMPARE(**token == QStringLiteral("old-access"), !renews);
        QVERIFY(store->currentAccessToken() == **token);
        if (renews) {
            // The renewed pair is what the keyring keeps, and its lifetime counts from now.
            const auto stored = SupabaseAuth::TokenPair::fromJson(*m_secrets->item(kService, kAccount));
            QCOMPARE(stored->accessToken, **token);
            QCOMPARE(stored->expiresAt, kStart.addMSecs(m_calendarShiftMs).addSecs(3600));
        }
    }

    void concurrentCallersShareOneRenewal()
    {
        const auto store = loadedStore();
        adoptAged(*store, 100s);
        auto first = store->validAccessToken();
        auto second = store->validAccessToken();
        auto third = store->tokenReplacing(QStringLiteral("old-access"));
        const auto a = runTask(std::move(first)).value;
        const auto b = runTask(std::move(second)).value;
        const auto c = runTask(std::move(third)).value;
        QCOMPARE(refreshRequests(), 1);
        QVERIFY(a && *a && b && *b && c && *c);
        QCOMPARE(**a, **b);
        QCOMPARE(**a, **c);
        QVERIFY(**a != QStringLiteral("old-access"));
        // Nothing left running: the next caller within the margin starts a new renewal.
        m_clock->advance(3400s);
        QVERIFY(runTask(store->validAccessToken()).value);
        QCOMPARE(refreshRequests(), 2);
    }

    void aFailedRenewalKeepsThePair_data()
    {
        QTest::addColumn<int>("secondsLeft");
        QTest::addColumn<bool>("keepsToken");
        QTest::newRow("100 s left") << 100 << true;
        QTest::newRow("expired") << -1 << false;
    }

    void aFailedRenewalKeepsThePair()
    {
        QFETCH(int, secondsLeft);
        QFETCH(bool, keepsToken);
        m_service->setReply("POST", QStringLiteral("/auth/v1/token"), FakeReply::raw("down", 503));
        const auto store = loadedStore();
        const auto pair = adoptAged(*store, std::chrono::seconds(secondsLeft));
        const auto token = runTask(store->validAccessToken()).value;
        QVERIFY(token);
        QCOMPARE(token->has_value(), keepsToken);
        QVERIFY(store->isLoggedIn());
        QCOMPARE(store->currentAccessToken(), pair.accessToken);
        QCOMPARE(SupabaseAuth::TokenPair::fromJson(*m_secrets->item(kService, kAccount)), pair);
    }

    void aRenewalThatReturnsAfterSignOutIsDropped()
    {
        m_service->setHandler("POST", QStringLiteral("/auth/v1/token"),
                              [](const RecordedRequest&) { return FakeSignInService::pairReply(7).after(50ms); });
        const auto store = loadedStore();
        adoptAged(*store, 10s);
        auto renewal = store->validAccessToken();
        store->signOut();
        const auto token = runTask(std::move(renewal)).value;
        QCOMPARE(refreshRequests(), 1);
        QVERIFY(token && !*token);
        QVERIFY(!store->isLoggedIn());
        QVERIFY(!m_secrets->item(kService, kAccount));
    }

    void unconfiguredSignInRenewsNothing()
    {
        const auto store = loadedStore(false);
        adoptAged(*store, 100s);
        const auto token = runTask(store->validAccessToken()).value;
        QVERIFY(token && !*token);
        QCOMPARE(m_service->requests().size(), 0);
    }

    // The timer's clock stands still while the computer sleeps and knows nothing of the calendar;
    // the timed renewal follows the calendar all the same.
    void theTimedRenewalFollowsTheCalendar_data()
    {
        QTest::addColumn<int>("calendarShift"); // seconds, right after the pair arrived
        QTest::addColumn<int>("quiet");         // monotonic seconds without a renewal
        QTest::addColumn<int>("renewedWithin"); // further monotonic seconds by which it renews
        QTest::newRow("on time") << 0 << 3299 << 1;
        QTest::newRow("calendar set back") << -600 << 3899 << 1;
        QTest::newRow("woken from a long sleep") << 3500 << 0 << 60;
    }

    void theTimedRenewalFollowsTheCalendar()
    {
        QFETCH(int, calendarShift);
        QFETCH(int, quiet);
        QFETCH(int, renewedWithin);
        const auto store = loadedStore();
        store->adopt(pairExpiringIn(3600s));
        m_calendarShiftMs = qint64(calendarShift) * 1000;
        m_clock->advance(std::chrono::seconds(quiet));
        QCOMPARE(requestsInFlight(), 0);
        QCOMPARE(m_service->refreshes, 0);
        m_clock->advance(std::chrono::seconds(renewedWithin));
        QTRY_COMPARE_WITH_TIMEOUT(m_service->refreshes, 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(store->currentAccessToken() != QStringLiteral("old-access"), 20000);
        // The renewed pair schedules the next renewal in turn; a sign-out ends the schedule.
        QCOMPARE(m_clock->pendingCount(), std::size_t(1));
        store->signOut();
        QCOMPARE(m_clock->pendingCount(), std::size_t(0));
    }

    // Four-minute tokens, an idle hour: renewed now and then, not in a loop, and a caller that
    // needs a token still gets a working one.
    void shortLivedTokensAreNotRenewedInALoop()
    {
        int issued = 0;
        m_service->setHandler("POST", QStringLiteral("/auth/v1/token"), [&issued](const RecordedRequest&) {
            ++issued;
            return FakeReply::json({{QStringLiteral("access_token"), QStringLiteral("short-%1").arg(issued)},
                                    {QStringLiteral("refresh_token"), QStringLiteral("refresh-%1").arg(issued)},
                                    {QStringLiteral("expires_in"), 240}});
        });
        const auto store = loadedStore();
        store->adopt(pairExpiringIn(240s));
        const int writesBefore = m_secrets->writeCount;
        // Nothing under way, and whatever was issued is held.
        const auto settled = [&] {
            return requestsInFlight() == 0 &&
                   (issued == 0 || store->currentAccessToken() == QStringLiteral("short-%1").arg(issued));
        };
        for (int elapsed = 0; elapsed < 3600; elapsed += 10) {
            m_clock->advance(10s);
            QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
        }
        QVERIFY2(issued >= 1 && issued <= 5, qPrintable(QString::number(issued)));
        QCOMPARE(m_secrets->writeCount - writesBefore, issued);
        const auto token = runTask(store->validAccessToken()).value;
        QVERIFY(token && *token);
        QCOMPARE(**token, QStringLiteral("short-%1").arg(issued));
    }

    void accountReplyUpdatesOnlyTheAddress_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("email");
        QTest::newRow("new address") << 200 << QByteArray(R"({"email":"new@x.io","plan":"pro"})")
                                     << QStringLiteral("new@x.io");
        QTest::newRow("empty address") << 200 << QByteArray(R"({"email":""})") << QStringLiteral("user@example.com");
        QTest::newRow("no address") << 200 << QByteArray(R"({})") << QStringLiteral("user@example.com");
        QTest::newRow("created") << 201 << QByteArray(R"({"email":"new@x.io"})") << QStringLiteral("user@example.com");
        QTest::newRow("refused") << 401 << QByteArray(R"({"email":"new@x.io"})") << QStringLiteral("user@example.com");
        QTest::newRow("broken") << 500 << QByteArray(R"({"email":"new@x.io"})") << QStringLiteral("user@example.com");
    }

    void accountReplyUpdatesOnlyTheAddress()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, email);
        FakeHttpService gateway;
        gateway.setReply("GET", QStringLiteral("/v1/me"), FakeReply::raw(body, status, "application/json"));
        const auto store = loadedStore();
        store->adopt(pairExpiringIn(3600s));
        runTask(store->refreshMe(gateway.baseUrl()));
        QCOMPARE(store->email(), email);
        // A refused token is renewed and the question asked once more.
        QCOMPARE(gateway.requests().size(), status == 401 ? 2 : 1);
        QCOMPARE(refreshRequests(), status == 401 ? 1 : 0);
        QCOMPARE(gateway.requests()[0].header("authorization"), QByteArray("Bearer old-access"));
        const auto stored = SupabaseAuth::TokenPair::fromJson(*m_secrets->item(kService, kAccount));
        QCOMPARE(stored->email, QStringLiteral("user@example.com"));
    }

    // An answer that comes back after the session it was about ended shows nothing.
    void anAccountReplyForAnEndedSessionIsDropped_data()
    {
        QTest::addColumn<bool>("signsInAgain");
        QTest::newRow("signed out") << false;
        QTest::newRow("signed in as somebody else") << true;
    }

    void anAccountReplyForAnEndedSessionIsDropped()
    {
        QFETCH(bool, signsInAgain);
        FakeHttpService gateway;
        gateway.setReply("GET", QStringLiteral("/v1/me"),
                         FakeReply::json({{QStringLiteral("email"), QStringLiteral("first@x.io")}}).heldBack());
        const auto store = loadedStore();
        store->adopt(pairExpiringIn(3600s));
        auto asking = store->refreshMe(gateway.baseUrl());
        QTRY_COMPARE_WITH_TIMEOUT(gateway.requests().size(), 1, 20000);
        store->signOut();
        SupabaseAuth::TokenPair other = pairExpiringIn(3600s, QStringLiteral("other-access"));
        other.email = QStringLiteral("second@x.io");
        if (signsInAgain)
            store->adopt(other);
        gateway.releaseHeldReplies();
        runTask(std::move(asking));
        QCOMPARE(store->email(), signsInAgain ? other.email : std::nullopt);
    }

    // The gateway refuses a token it no longer accepts: one renewal, one retry, then sign-in.
    void aRefusedTokenIsRenewedAndTriedOnce_data()
    {
        QTest::addColumn<QList<int>>("gatewayStatuses");
        QTest::addColumn<bool>("renewalWorks");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("gatewayCalls");
        QTest::newRow("accepted") << QList<int>{200} << true << true << 1;
        QTest::newRow("refused then accepted") << QList<int>{401, 200} << true << true << 2;
        QTest::newRow("refused twice") << QList<int>{401, 401} << true << false << 2;
        QTest::newRow("renewal fails") << QList<int>{401} << false << false << 1;
    }

    void aRefusedTokenIsRenewedAndTriedOnce()
    {
        QFETCH(QList<int>, gatewayStatuses);
        QFETCH(bool, renewalWorks);
        QFETCH(bool, succeeds);
        QFETCH(int, gatewayCalls);
        if (!renewalWorks)
            m_service->setReply("POST", QStringLiteral("/auth/v1/token"), FakeReply::raw("down", 503));
        FakeHttpService gateway;
        for (const int status : gatewayStatuses)
            gateway.queueReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("{}", status));
        const auto store = loadedStore();
        store->adopt(pairExpiringIn(3600s));

        HttpTransport& transport = m_transport;
        const QUrl url = ServiceEndpoints::appendPath(gateway.baseUrl(), QStringLiteral("v1/asr"));
        std::function<QCoro::Task<int>(Credential)> call = [&transport,
                                                            url](Credential credential) -> QCoro::Task<int> {
            QNetworkRequest request(url);
            request.setRawHeader("Authorization", "Bearer " + credential.bearer().toUtf8());
            const HttpResponse response = co_await transport.send(request, "POST", "{}", 2s);
            if (response.status == 401)
                throw GatewayAuthError();
            co_return response.status;
        };
        const auto outcome = runTask(withFreshToken<int>(*store, call));
        QCOMPARE(outcome.value.has_value(), succeeds);
        QCOMPARE(bool(outcome.errorAs<GatewayAuthError>()), !succeeds);
        QCOMPARE(int(gateway.requests().size()), gatewayCalls);
        QCOMPARE(refreshRequests(), gatewayStatuses.first() == 401 ? 1 : 0);
        if (gatewayCalls == 2) {
            QCOMPARE(gateway.requests()[0].header("authorization"), QByteArray("Bearer old-access"));
            QCOMPARE(gateway.requests()[1].header("authorization"), "Bearer " + store->currentAccessToken()->toUtf8());
        }
        // A refusal never signs out by itself.
        QVERIFY(store->isLoggedIn());
    }

    void withoutASessionTheGatewayIsNotAsked()
    {
        const auto store = loadedStore();
        int calls = 0;
        std::function<QCoro::Task<int>(Credential)> call = [&calls](Credential) -> QCoro::Task<int> {
            ++calls;
            co_return 0;
        };
        QVERIFY(runTask(withFreshToken<int>(*store, call)).errorAs<GatewayAuthError>());
        QCOMPARE(calls, 0);
    }
};

MURMO_TEST(TestSessionStore)
#include "tst_SessionStore.moc"
