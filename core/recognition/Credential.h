#pragma once

#include <QString>

// The bearer the gateway accepts: a token it issued to this computer at registration, or the
// signed-in account's access token. Both are sent the same way.
class Credential
{
public:
    enum class Kind
    {
        DeviceToken,
        Jwt,
    };

    static Credential deviceToken(QString token) { return Credential(Kind::DeviceToken, std::move(token)); }
    static Credential jwt(QString token) { return Credential(Kind::Jwt, std::move(token)); }

    Kind kind() const { return m_kind; }
    const QString& bearer() const { return m_bearer; }

    bool operator==(const Credential&) const = default;

private:
    Credential(Kind kind, QString bearer)
        : m_kind(kind)
        , m_bearer(std::move(bearer))
    {}

    Kind m_kind;
    QString m_bearer;
};
