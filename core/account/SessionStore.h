#pragma once

#include "core/account/SupabaseAuth.h"
#include "core/async/SharedResult.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class HttpTransport;
class SecretStore;

// The signed-in session: the token pair in memory and in the keyring, whether somebody is signed
// in, and an access token that is renewed before it runs out. The application object owns the
// one instance; everything here runs on the main thread.
//
// The pair is read from the keyring by load(), which start-up awaits (bounded by
// waitUntilLoaded()) before anything needs the session. The keyring is the only place the pair is
// kept: when it is missing, the session lasts until the program ends.
class CancelToken;

class SessionStore : public QObject
{
    Q_OBJECT

public:
    using WallClock = std::function<QDateTime()>;

    // Renewal starts once the access token has this long left, or half its lifetime when that is
    // shorter, so that a short-lived token is not renewed the moment it arrives.
    static constexpr std::chrono::seconds refreshMargin{300};
    // The renewal timer never fires sooner than this after it is set.
    static constexpr std::chrono::seconds renewalFloor{30};
    // The timer waits in steps of at most this long and reads the calendar at each: its clock
    // stands still while the computer sleeps, the token's expiry does not.
    static constexpr std::chrono::seconds renewalStep{60};
    // A renewal that gives a lifetime shorter than this defers the next timed renewal, by a wait
    // that starts here and doubles with each such renewal (up to shortLifetimeBackoffCap).
    static constexpr std::chrono::seconds shortLifetime{600};
    static constexpr std::chrono::seconds shortLifetimeBackoff{300};
    static constexpr std::chrono::seconds shortLifetimeBackoffCap{3600};

    // config is where to renew tokens (none: sign-in is not configured and nothing is renewed).
    SessionStore(SecretStore& secrets, HttpTransport& transport, Clock& clock,
                 std::optional<SupabaseAuth::Config> config, QObject* parent = nullptr);
    ~SessionStore() override;

    // Tests pin the calendar to their manual clock; the default is the system's UTC time.
    void setWallClock(WallClock wallClock);
    QDateTime now() const;

    bool isLoggedIn() const { return m_tokens.has_value(); }
    const std::optional<QString>& email() const { return m_email; }
    // The bearer as held right now, for callers that cannot wait; never renewed by this read.
    std::optional<QString> currentAccessToken() const;

    // Reads the stored pair once. A sign-in or sign-out that happened meanwhile wins over it.
    QCoro::Task<void> load();
    bool isLoaded() const { return m_loaded; }
    // True once load() has finished; false when bound passed first (on the injected clock).
    QCoro::Task<bool> waitUntilLoaded(std::chrono::milliseconds bound);

    // Makes pair the session and keeps it in the keyring.
    void adopt(const SupabaseAuth::TokenPair& pair);
    // Forgets the session here and in the keyring; tells the service nothing. A renewal still
    // under way when this happens is thrown away when it comes back.
    void signOut();

    // The held token while it has more than the renewal margin left, else a renewed one, else
    // (the renewal failed) the held one while it has not expired. Concurrent callers share one
    // renewal.
    QCoro::Task<std::optional<QString>> validAccessToken();
    // A fresh token after a service refused rejected: the held one when it has changed since,
    // else the result of a renewal (shared with any under way). None when renewal did not give a
    // different token.
    QCoro::Task<std::optional<QString>> tokenReplacing(QString rejected);

    // Asks the gateway who is signed in ("v1/me") and shows that address; a refused token is
    // renewed and the question asked once more. Failures change nothing, and neither does an
    // answer about a session that was signed out or replaced meanwhile. cancel (optional)
    // abandons the request, for a view that goes away before the answer.
    QCoro::Task<void> refreshMe(QUrl gatewayURL, CancelToken* cancel = nullptr);
    // The address in a 200 "v1/me" answer; nothing when it carries none.
    static std::optional<QString> emailFromMeAnswer(const QByteArray& body);

Q_SIGNALS:
    // Any of isLoggedIn, email or currentAccessToken changed.
    void changed();
    void loadFinished();

private:
    // Holds pair and keeps it in the keyring; the session it belongs to does not change.
    void keep(const SupabaseAuth::TokenPair& pair);
    void setTokens(const std::optional<SupabaseAuth::TokenPair>& pair);
    std::chrono::milliseconds renewalMargin() const;
    // When the timer renews the held pair: ahead of its expiry by the margin, not before a
    // short-lifetime wait is over.
    QDateTime renewalDue() const;
    void scheduleRenewal();
    void noteLifetime(const QDateTime& sentAt, const SupabaseAuth::TokenPair& renewed);
    QCoro::Task<std::optional<QString>> sharedRenewal();
    QCoro::Task<std::optional<QString>> renew();
    std::optional<QString> heldUnexpiredToken() const;

    SecretStore& m_secrets;
    HttpTransport& m_transport;
    Clock& m_clock;
    std::optional<SupabaseAuth::Config> m_config;
    WallClock m_wallClock;

    std::optional<SupabaseAuth::TokenPair> m_tokens;
    std::optional<QString> m_email;
    // When the held pair was obtained; none for one read from the keyring (its lifetime is not
    // known).
    std::optional<QDateTime> m_obtainedAt;
    // Advanced by every change of the pair (renewals included), so work that started before one
    // can tell.
    quint64 m_generation = 0;
    // Advanced when the session becomes another one: a sign-in, a sign-out, the keyring's pair.
    quint64 m_session = 0;
    // The wait before the next timed renewal after renewals that gave short lifetimes, and the
    // calendar time it ends.
    std::chrono::seconds m_shortLifetimeWait{0};
    std::optional<QDateTime> m_renewNotBefore;
    bool m_loaded = false;
    // The renewal under way, which every caller that needs a token meanwhile awaits.
    std::optional<SharedResult<std::optional<QString>>> m_renewal;
    quint64 m_renewalRun = 0;
    Clock::TimerId m_renewalTimer = 0;
};
