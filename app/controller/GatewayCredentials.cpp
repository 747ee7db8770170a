#include "app/controller/GatewayCredentials.h"

#include "app/controller/Settings.h"
#include "core/account/SessionStore.h"
#include "core/recognition/GatewayClient.h"
#include "platform/Clock.h"

#include <QSysInfo>

#include <algorithm>

GatewayCredentials::GatewayCredentials(Settings& settings, SessionStore& session, Clock& clock, QUrl gateway,
                                       HttpTransport* transport, Config config)
    : m_settings(&settings)
    , m_session(&session)
    , m_sessionCredentials(session)
    , m_clock(clock)
    , m_gateway(std::move(gateway))
    , m_transport(transport)
    , m_config(std::move(config))
{}

QString GatewayCredentials::defaultDeviceLabel()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("linux") : host;
}

QCoro::Task<Credential> GatewayCredentials::current()
{
    if (!m_settings || !m_session)
        throw GatewayUnreachableError();
    // The signed-in user's token wins over the device token, as in the service choice.
    if (m_session->isLoggedIn()) {
        if (m_config.signInConfigured)
            co_return co_await m_sessionCredentials.current();
        // A session kept from a build that could sign in: nobody can renew it or sign in again
        // here, so once it fails the device token serves.
        std::optional<Credential> session;
        try {
            session = co_await m_sessionCredentials.current();
        } catch (const GatewayAuthError&) {
        }
        if (session)
            co_return *session;
    }
    co_return co_await deviceCredential();
}

QCoro::Task<Credential> GatewayCredentials::deviceCredential()
{
    const QString stored = m_settings ? m_settings->text(SettingKey::gatewayToken) : QString();
    if (!stored.isEmpty())
        co_return Credential::deviceToken(stored);
    co_return co_await registered();
}

QCoro::Task<Credential> GatewayCredentials::replacing(Credential refused)
{
    if (refused.kind() == Credential::Kind::Jwt) {
        if (m_config.signInConfigured)
            co_return co_await m_sessionCredentials.replacing(refused);
        co_return co_await deviceCredential();
    }
    if (!m_settings)
        throw GatewayUnreachableError();
    const QString stored = m_settings->text(SettingKey::gatewayToken);
    // Another request has replaced the token meanwhile.
    if (!stored.isEmpty() && stored != refused.bearer())
        co_return Credential::deviceToken(stored);
    // Where users sign in, a refused device token asks for a sign-in instead.
    if (m_config.signInConfigured)
        throw GatewayAuthError();
    if (!stored.isEmpty())
        m_settings->setValue(SettingKey::gatewayToken, QString());
    co_return co_await registered();
}

void GatewayCredentials::refusedAgain(const Credential&)
{
    if (m_config.signInConfigured)
        throw GatewayAuthError();
    // The gateway answered and turned down a token it had just issued: no outage to wait out.
    throw GatewayRefusedError();
}

QCoro::Task<Credential> GatewayCredentials::registered()
{
    if (m_config.signInConfigured)
        throw GatewayAuthError();
    const std::optional<QString> token = co_await registerDevice();
    if (!token)
        throw GatewayUnreachableError();
    co_return Credential::deviceToken(*token);
}

QCoro::Task<std::optional<QString>> GatewayCredentials::registerDevice()
{
    if (!m_registration) {
        if (m_clock.now() < m_nextAttempt)
            co_return std::nullopt;
        ++m_registrationRun;
        m_registration.emplace(
            [weak = weak_from_this()](CancelToken&) -> QCoro::Task<std::optional<QString>> { return attempt(weak); });
    }
    const SharedResult<std::optional<QString>> registration = *m_registration;
    const quint64 run = m_registrationRun;
    const std::weak_ptr<GatewayCredentials> weak = weak_from_this();
    const std::optional<QString> token = co_await registration.value();
    // The first caller back clears the finished attempt, so the next need starts a new one.
    if (!weak.expired() && m_registrationRun == run)
        m_registration.reset();
    co_return token;
}

QCoro::Task<std::optional<QString>> GatewayCredentials::attempt(std::weak_ptr<GatewayCredentials> weak)
{
    std::shared_ptr<GatewayCredentials> self = weak.lock();
    if (!self)
        co_return std::nullopt;
    QString token;
    try {
        token = co_await GatewayClient::registerDevice(self->m_gateway, self->m_config.deviceLabel,
                                                       self->m_config.registerSecret, self->m_transport);
    } catch (...) {
        // Unreachable gateway or a refusal: the caller says so, the next need tries again.
    }
    self->noteAttempt(!token.isEmpty());
    if (token.isEmpty() || !self->m_settings)
        co_return std::nullopt;
    self->m_settings->setValue(SettingKey::gatewayToken, token);
    co_return std::optional<QString>(token);
}

void GatewayCredentials::noteAttempt(bool succeeded)
{
    if (succeeded) {
        m_retryWait = std::chrono::milliseconds(0);
        m_nextAttempt = std::chrono::milliseconds(0);
        return;
    }
    const std::chrono::milliseconds first = firstRetryWait;
    const std::chrono::milliseconds cap = retryWaitCap;
    m_retryWait = m_retryWait.count() == 0 ? first : std::min(m_retryWait * 2, cap);
    m_nextAttempt = m_clock.now() + m_retryWait;
}
