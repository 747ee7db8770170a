#pragma once

#include "core/account/SessionCredentials.h"
#include "core/async/SharedResult.h"
#include "core/recognition/CredentialSource.h"

#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class HttpTransport;
class SessionStore;
class Settings;

// The bearer every gateway client the controller hands out sends: the signed-in user's access
// token (renewed through the session), else this computer's device token. Without sign-in the
// device token recovers by itself: a computer without one registers when a request needs it, one
// the gateway refuses is dropped and replaced by a new registration, and no refusal asks for a
// sign-in that cannot happen. Registrations that fail are spaced by a growing wait.
//
// Main thread only. Owned through a shared pointer, as the clients share it; one that outlives
// the application's parts answers "unreachable".
class GatewayCredentials : public CredentialSource, public std::enable_shared_from_this<GatewayCredentials>
{
public:
    struct Config
    {
        // Compiled in and agreed with the gateway; it keeps strangers from minting tokens.
        QString registerSecret = QString::fromLatin1(kRegisterSecret);
        // The device's name in the gateway's list: the host name, "linux" without one.
        QString deviceLabel = defaultDeviceLabel();
        // Whether the program can sign users in; then a device token is never requested.
        bool signInConfigured = false;
    };

    static constexpr const char* kRegisterSecret = "7c1e4b52-9a3d-4f86-b0e2-5d9a1c7f3e68";
    // The wait after a failed registration before the next one is tried, doubling up to the cap.
    static constexpr std::chrono::seconds firstRetryWait{5};
    static constexpr std::chrono::seconds retryWaitCap{300};

    GatewayCredentials(Settings& settings, SessionStore& session, Clock& clock, QUrl gateway, HttpTransport* transport,
                       Config config);

    static QString defaultDeviceLabel();

    const Config& config() const { return m_config; }

    // Obtains and stores a device token; none when the gateway refused or could not be reached,
    // or while the wait after a failed attempt runs. Callers meanwhile share one attempt.
    QCoro::Task<std::optional<QString>> registerDevice();

    QCoro::Task<Credential> current() override;
    QCoro::Task<Credential> replacing(Credential refused) override;
    [[noreturn]] void refusedAgain(const Credential& replacement) override;

private:
    // The stored device token, else a new registration's.
    QCoro::Task<Credential> deviceCredential();
    QCoro::Task<Credential> registered();
    static QCoro::Task<std::optional<QString>> attempt(std::weak_ptr<GatewayCredentials> weak);
    void noteAttempt(bool succeeded);

    QPointer<Settings> m_settings;
    QPointer<SessionStore> m_session;
    SessionCredentials m_sessionCredentials;
    Clock& m_clock;
    QUrl m_gateway;
    HttpTransport* m_transport;
    Config m_config;

    std::optional<SharedResult<std::optional<QString>>> m_registration;
    quint64 m_registrationRun = 0;
    std::chrono::milliseconds m_retryWait{0};
    // On the monotonic clock: no new attempt before this.
    std::chrono::milliseconds m_nextAttempt{0};
};
