#include "core/account/SessionStore.h"

#include "core/account/WithFreshToken.h"
#include "core/async/CancelToken.h"
#include "core/async/SharedResult.h"
#include "core/async/Sleep.h"
#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/ServiceEndpoints.h"
#include "platform/SecretStore.h"

#include <QCoroFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

const QString keyringService = QStringLiteral("com.kelto.murmo.session");
const QString keyringAccount = QStringLiteral("supabase");

constexpr auto accountTimeout = 15s;

QCoro::Task<HttpResponse> askWhoIsSignedIn(HttpTransport& transport, QUrl url, Credential credential,
                                           CancelToken* cancel)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + credential.bearer().toUtf8());
    const HttpResponse response = co_await transport.send(request, "GET", QByteArray(), accountTimeout, cancel);
    if (response.isHttp && response.status == 401)
        throw GatewayAuthError();
    co_return response;
}

} // namespace

SessionStore::SessionStore(SecretStore& secrets, HttpTransport& transport, Clock& clock,
                           std::optional<SupabaseAuth::Config> config, QObject* parent)
    : QObject(parent)
    , m_secrets(secrets)
    , m_transport(transport)
    , m_clock(clock)
    , m_config(std::move(config))
    , m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{}

SessionStore::~SessionStore()
{
    m_clock.cancel(m_renewalTimer);
}

void SessionStore::setWallClock(WallClock wallClock)
{
    m_wallClock = std::move(wallClock);
    scheduleRenewal();
}

QDateTime SessionStore::now() const
{
    return m_wallClock();
}

std::optional<QString> SessionStore::currentAccessToken() const
{
    return m_tokens ? std::optional<QString>(m_tokens->accessToken) : std::nullopt;
}

QCoro::Task<void> SessionStore::load()
{
    const quint64 generation = m_generation;
    QPointer<SessionStore> self(this);
    const std::optional<QByteArray> stored = co_await m_secrets.read(keyringService, keyringAccount);
    if (!self)
        co_return;
    // A sign-in or sign-out during the read is newer than whatever the keyring held.
    if (generation == m_generation && stored) {
        if (const auto pair = SupabaseAuth::TokenPair::fromJson(*stored)) {
            ++m_session;
            setTokens(pair);
        }
    }
    m_loaded = true;
    Q_EMIT loadFinished();
}

QCoro::Task<bool> SessionStore::waitUntilLoaded(std::chrono::milliseconds bound)
{
    if (m_loaded)
        co_return true;
    QPointer<SessionStore> self(this);
    CancelToken loaded;
    connect(this, &SessionStore::loadFinished, &loaded, &CancelToken::cancel);
    co_await sleepFor(&m_clock, bound, &loaded);
    co_return self&& m_loaded;
}

void SessionStore::adopt(const SupabaseAuth::TokenPair& pair)
{
    ++m_session;
    m_shortLifetimeWait = 0s;
    m_renewNotBefore.reset();
    keep(pair);
}

void SessionStore::keep(const SupabaseAuth::TokenPair& pair)
{
    ++m_generation;
    m_obtainedAt = now();
    setTokens(pair);
    // The keyring answers later; a failure only means the next start is signed out.
    m_secrets.write(keyringService, keyringAccount, pair.toJson());
}

void SessionStore::signOut()
{
    ++m_generation;
    ++m_session;
    m_obtainedAt.reset();
    setTokens(std::nullopt);
    m_secrets.remove(keyringService, keyringAccount);
}

void SessionStore::setTokens(const std::optional<SupabaseAuth::TokenPair>& pair)
{
    m_tokens = pair;
    m_email = pair ? pair->email : std::nullopt;
    scheduleRenewal();
    Q_EMIT changed();
}

std::chrono::milliseconds SessionStore::renewalMargin() const
{
    const std::chrono::milliseconds margin = refreshMargin;
    if (!m_tokens || !m_obtainedAt)
        return margin;
    const std::chrono::milliseconds lifetime(m_obtainedAt->msecsTo(m_tokens->expiresAt));
    return std::clamp(lifetime / 2, std::chrono::milliseconds(0), margin);
}

QDateTime SessionStore::renewalDue() const
{
    const QDateTime due = m_tokens->expiresAt.addMSecs(-renewalMargin().count());
    return m_renewNotBefore && *m_renewNotBefore > due ? *m_renewNotBefore : due;
}

// Renews ahead of the margin so a caller that reads the token without waiting (the gateway bearer)
// finds a fresh one. The timer's clock does not run while the computer sleeps, so the wait is
// taken in steps and the calendar decides at each whether the renewal is due.
void SessionStore::scheduleRenewal()
{
    m_clock.cancel(m_renewalTimer);
    m_renewalTimer = 0;
    if (!m_tokens || !m_config)
        return;
    const qint64 untilDue = now().msecsTo(renewalDue());
    const std::chrono::milliseconds floor = renewalFloor;
    const std::chrono::milliseconds step = renewalStep;
    const std::chrono::milliseconds wait = std::clamp(std::chrono::milliseconds(untilDue), floor, step);
    QPointer<SessionStore> self(this);
    m_renewalTimer = m_clock.schedule(wait, [self] {
        if (!self || !self->m_tokens)
            return;
        self->m_renewalTimer = 0;
        // A failed renewal is not rescheduled here; the next caller that needs a token tries again.
        if (self->now() < self->renewalDue())
            self->scheduleRenewal();
        else
            self->sharedRenewal(); // not awaited: the result lands in the store itself
    });
}

void SessionStore::noteLifetime(const QDateTime& sentAt, const SupabaseAuth::TokenPair& renewed)
{
    if (sentAt.secsTo(renewed.expiresAt) >= shortLifetime.count()) {
        m_shortLifetimeWait = 0s;
        m_renewNotBefore.reset();
        return;
    }
    // Renewing a short-lived token on time would keep the service and the keyring busy while
    // nothing uses the token; callers that need one still renew it when it runs short.
    m_shortLifetimeWait =
        m_shortLifetimeWait == 0s ? shortLifetimeBackoff : std::min(m_shortLifetimeWait * 2, shortLifetimeBackoffCap);
    m_renewNotBefore = sentAt.addSecs(m_shortLifetimeWait.count());
}

std::optional<QString> SessionStore::heldUnexpiredToken() const
{
    if (m_tokens && m_tokens->expiresAt > now())
        return m_tokens->accessToken;
    return std::nullopt;
}

// Tokens are returned as std::optional values made here: QCoro moves from an lvalue of another
// type that is co_returned, which would empty the held pair.
QCoro::Task<std::optional<QString>> SessionStore::validAccessToken()
{
    if (!m_tokens)
        co_return std::nullopt;
    if (now().msecsTo(m_tokens->expiresAt) > renewalMargin().count())
        co_return std::optional<QString>(m_tokens->accessToken);
    co_return co_await sharedRenewal();
}

QCoro::Task<std::optional<QString>> SessionStore::tokenReplacing(QString rejected)
{
    if (!m_tokens)
        co_return std::nullopt;
    if (m_tokens->accessToken != rejected)
        co_return std::optional<QString>(m_tokens->accessToken);
    const std::optional<QString> renewed = co_await sharedRenewal();
    if (renewed && *renewed != rejected)
        co_return renewed;
    co_return std::nullopt;
}

QCoro::Task<std::optional<QString>> SessionStore::sharedRenewal()
{
    if (!m_renewal) {
        ++m_renewalRun;
        QPointer<SessionStore> self(this);
        m_renewal.emplace([self](CancelToken&) -> QCoro::Task<std::optional<QString>> {
            if (!self)
                co_return std::nullopt;
            co_return co_await self->renew();
        });
    }
    const SharedResult<std::optional<QString>> renewal = *m_renewal;
    const quint64 run = m_renewalRun;
    QPointer<SessionStore> self(this);
    const std::optional<QString> token = co_await renewal.value();
    // The first caller back clears the finished run, so the next one that needs a token starts
    // a new renewal.
    if (self && m_renewalRun == run)
        m_renewal.reset();
    co_return token;
}

QCoro::Task<std::optional<QString>> SessionStore::renew()
{
    if (!m_config || !m_tokens)
        co_return std::nullopt;
    const quint64 generation = m_generation;
    const QString refreshToken = m_tokens->refreshToken;
    const SupabaseAuth::Config config = *m_config;
    const QDateTime sentAt = now();
    QPointer<SessionStore> self(this);
    std::optional<SupabaseAuth::TokenPair> renewed;
    try {
        renewed = co_await SupabaseAuth::refresh(m_transport, config, refreshToken, sentAt);
    } catch (const std::exception&) {
        // A failed renewal signs nobody out; the held pair serves while it lasts.
    }
    if (!self)
        co_return std::nullopt;
    // Signed out, or signed in anew, while the request was out: that decision stands.
    if (!renewed || generation != m_generation)
        co_return heldUnexpiredToken();
    noteLifetime(sentAt, *renewed);
    keep(*renewed);
    co_return renewed->accessToken;
}

QCoro::Task<void> SessionStore::refreshMe(QUrl gatewayURL, CancelToken* cancel)
{
    if (!m_tokens)
        co_return;
    QPointer<SessionStore> self(this);
    const quint64 session = m_session;
    HttpTransport& transport = m_transport;
    const QUrl url = ServiceEndpoints::appendPath(gatewayURL, QStringLiteral("v1/me"));
    std::function<QCoro::Task<HttpResponse>(Credential)> ask = [&transport, url, cancel](Credential credential) {
        return askWhoIsSignedIn(transport, url, std::move(credential), cancel);
    };
    HttpResponse response;
    try {
        response = co_await withFreshToken<HttpResponse>(*this, ask);
    } catch (const std::exception&) {
        co_return;
    }
    // The answer is about the session that asked: after a sign-out, or a sign-in as somebody
    // else, it is not this session's address.
    if (!self || m_session != session || !m_tokens || !response.isHttp || response.status != 200)
        co_return;
    const std::optional<QString> email = emailFromMeAnswer(response.body);
    if (!email)
        co_return;
    m_email = *email;
    Q_EMIT changed();
}

std::optional<QString> SessionStore::emailFromMeAnswer(const QByteArray& body)
{
    const QJsonDocument document = serviceJson(body);
    const QJsonValue email = document.isObject() ? document.object().value(QStringLiteral("email")) : QJsonValue();
    if (!email.isString() || email.toString().isEmpty())
        return std::nullopt;
    return email.toString();
}
