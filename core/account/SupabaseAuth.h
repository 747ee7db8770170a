#pragma once

#include "core/MurmoError.h"

#include <QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

class HttpTransport;

// The client of the hosted sign-in service: the few REST requests sign-in needs, the address
// that starts a web sign-in, and the parsing of what comes back into one token pair. It keeps no
// state; the session store and the sign-in sheet hold whatever must last.
class SupabaseAuth
{
public:
    SupabaseAuth() = delete;

    // Where the service is. url is an origin without a path; anonKey goes with every request.
    struct Config
    {
        QUrl url;
        QString anonKey;

        // The compiled-in service, which the environment can override (MURMO_SIGNIN_URL,
        // MURMO_SIGNIN_KEY). None means sign-in is not configured: no sign-in is offered then.
        static std::optional<Config> baked();

        bool operator==(const Config&) const = default;
    };

    // A signed-in session: what the keyring keeps and what the gateway takes as bearer.
    struct TokenPair
    {
        QString accessToken;
        QString refreshToken;
        QDateTime expiresAt;
        std::optional<QString> email;

        // {"accessToken", "refreshToken", "expiresAt" (seconds since 2001-01-01 UTC), "email"
        // (left out when unknown)}.
        QByteArray toJson() const;
        // None when a required member is missing or of the wrong type.
        static std::optional<TokenPair> fromJson(const QByteArray& json);

        bool operator==(const TokenPair&) const = default;
    };

    // The service refused (http) or answered without the tokens it owes (badResponse). The
    // description is the service's own message where it gave one.
    class AuthError : public MurmoError
    {
    public:
        enum class Kind
        {
            Http,
            BadResponse,
        };

        static AuthError http(int status, const QString& body);
        static AuthError badResponse();

        Kind kind() const { return m_kind; }
        int status() const { return m_status; }
        const QString& body() const { return m_body; }

    private:
        AuthError(Kind kind, int status, QString body, QString description);

        Kind m_kind;
        int m_status;
        QString m_body;
    };

    // Where the service sends the browser back to after a web sign-in. state, one value per
    // sign-in, rides along in the address's query, so the answer tells which sign-in it ends.
    static QUrl callbackUrl(const QString& state);
    // The state a callback address carries; none when the address is not a sign-in callback.
    static std::optional<QString> callbackState(const QUrl& url);

    // POSTs body as JSON to path (relative to config.url) and gives the answer's top-level
    // object (empty when the answer is JSON but not an object). Throws AuthError for a status
    // outside 2xx, JsonError for a 2xx body that is not JSON, TransportError when no answer came.
    static QCoro::Task<QJsonObject> post(HttpTransport& transport, Config config, QString path, QJsonObject body);

    // Asks the service to mail a one-time code (creating the account for a new address). Any 2xx
    // answer is success, whatever its body: the service has accepted the request by then.
    static QCoro::Task<void> requestOTP(HttpTransport& transport, Config config, QString email);

    // now is when the request leaves; the pair's lifetime counts from it, erring early.
    static QCoro::Task<TokenPair> verifyOTP(HttpTransport& transport, Config config, QString email, QString token,
                                            QDateTime now);
    static QCoro::Task<TokenPair> refresh(HttpTransport& transport, Config config, QString refreshToken, QDateTime now);

    // The address that starts a web sign-in with provider ("apple", "google"), answered at
    // callbackUrl(state).
    static QUrl authorizeURL(const Config& config, const QString& provider, const QString& state);

    // The pair in a verify or refresh answer; throws AuthError::badResponse without both tokens.
    static TokenPair tokenPair(const QJsonObject& reply, const QDateTime& now);
    // The pair in a web sign-in's callback address (tokens in the fragment); none without both.
    static std::optional<TokenPair> parseCallback(const QUrl& url, const QDateTime& now);
    // The "email" claim of a JWT. The signature is not checked: the value is only shown.
    static std::optional<QString> jwtEmail(const QString& token);
};
