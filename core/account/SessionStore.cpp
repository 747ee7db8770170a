#include "core/account/SessionStore.h"

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

using namespace std::chrono_literals;

namespace {

const QString keyringService = QStringLiteral("com.kelto.murmo.session");
const QString keyringAccount = QStringLiteral("supabase");

constexpr auto accountTimeout = 15s;

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
        if (const auto pair = SupabaseAuth::TokenPair::fromJson(*stored))
            setTokens(pair);
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
    ++m_generation;
    setTokens(pair);
    // The keyring answers later; a failure only means the next start is signed out.
    m_secrets.write(keyringService, keyringAccount, pair.toJson());
}

void SessionStore::signOut()
{
    ++m_generation;
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

// Renews ahead of the margin so a caller that reads the token without waiting (the gateway bearer)
// finds a fresh one; after a suspend the timer fires late and validAccessToken() still catches it.
void SessionStore::scheduleRenewal()
{
    m_clock.cancel(m_renewalTimer);
    m_renewalTimer = 0;
    if (!m_tokens || !m_config)
        return;
    const qint64 untilMargin = now().msecsTo(m_tokens->expiresAt) - qint64(refreshMargin.count()) * 1000;
    QPointer<SessionStore> self(this);
    m_renewalTimer = m_clock.schedule(std::chrono::milliseconds(std::max<qint64>(untilMargin, 0)), [self] {
        if (!self || !self->m_tokens)
            return;
        self->m_renewalTimer = 0;
        // Early when the calendar moved back meanwhile: wait again rather than lose the schedule.
        // A failed renewal is not rescheduled here; the next caller that needs a token tries again.
        if (self->now().msecsTo(self->m_tokens->expiresAt) > qint64(refreshMargin.count()) * 1000)
            self->scheduleRenewal();
        else
            self->validAccessToken(); // not awaited: the result lands in the store itself
    });
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
    if (now().msecsTo(m_tokens->expiresAt) > qint64(refreshMargin.count()) * 1000)
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
    QPointer<SessionStore> self(this);
    std::optional<SupabaseAuth::TokenPair> renewed;
    try {
        renewed = co_await SupabaseAuth::refresh(m_transport, config, refreshToken, now());
    } catch (const std::exception&) {
        // A failed renewal signs nobody out; the held pair serves while it lasts.
    }
    if (!self)
        co_return std::nullopt;
    // Signed out, or signed in anew, while the request was out: that decision stands.
    if (!renewed || generation != m_generation)
        co_return heldUnexpiredToken();
    adopt(*renewed);
    co_return renewed->accessToken;
}

QCoro::Task<void> SessionStore::refreshMe(QUrl gatewayURL, CancelToken* cancel)
{
    QPointer<SessionStore> self(this);
    const std::optional<QString> token = co_await validAccessToken();
    if (!self || !token)
        co_return;
    QNetworkRequest request(ServiceEndpoints::appendPath(gatewayURL, QStringLiteral("v1/me")));
    request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    HttpResponse response;
    try {
        response = co_await m_transport.send(request, "GET", QByteArray(), accountTimeout, cancel);
    } catch (const std::exception&) {
        co_return;
    }
    // Whoever signed out meanwhile has no address to show.
    if (!self || !m_tokens || !response.isHttp || response.status != 200)
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
