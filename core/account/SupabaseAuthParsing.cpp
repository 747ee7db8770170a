// Reading what the sign-in service and the browser hand back: answers, the callback address, the
// access token's claims, and the stored form of a pair. All of it is outside data.
#include "core/account/SupabaseAuth.h"

#include <QHash>
#include <QJsonDocument>
#include <QUrlQuery>

#include <cmath>

namespace {

constexpr double defaultLifetimeSeconds = 3600;
// A lifetime beyond this is nonsense from the service; it falls back to the default rather than
// overflowing the date arithmetic.
constexpr double maxLifetimeSeconds = 10.0 * 365 * 24 * 3600;

const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

QDateTime expiryFrom(const QDateTime& now, std::optional<double> lifetime)
{
    double seconds = defaultLifetimeSeconds;
    if (lifetime && std::isfinite(*lifetime) && std::abs(*lifetime) <= maxLifetimeSeconds)
        seconds = *lifetime;
    return now.addMSecs(qint64(std::llround(seconds * 1000)));
}

// The decimal number that is the whole of text; leading or trailing blanks make it no number.
std::optional<double> wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace

QByteArray SupabaseAuth::TokenPair::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("accessToken"), accessToken);
    object.insert(QStringLiteral("refreshToken"), refreshToken);
    object.insert(QStringLiteral("expiresAt"), double(referenceDate().msecsTo(expiresAt)) / 1000.0);
    if (email)
        object.insert(QStringLiteral("email"), *email);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SupabaseAuth::TokenPair> SupabaseAuth::TokenPair::fromJson(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue access = object.value(QStringLiteral("accessToken"));
    const QJsonValue refresh = object.value(QStringLiteral("refreshToken"));
    const QJsonValue expires = object.value(QStringLiteral("expiresAt"));
    const QJsonValue email = object.value(QStringLiteral("email"));
    if (!access.isString() || !refresh.isString() || !expires.isDouble())
        return std::nullopt;
    if (!email.isUndefined() && !email.isNull() && !email.isString())
        return std::nullopt;
    const double seconds = expires.toDouble();
    if (!std::isfinite(seconds) || std::abs(seconds) > 1e11)
        return std::nullopt;
    TokenPair pair;
    pair.accessToken = access.toString();
    pair.refreshToken = refresh.toString();
    pair.expiresAt = referenceDate().addMSecs(qint64(std::llround(seconds * 1000)));
    if (email.isString())
        pair.email = email.toString();
    return pair;
}

SupabaseAuth::TokenPair SupabaseAuth::tokenPair(const QJsonObject& reply, const QDateTime& now)
{
    const QJsonValue access = reply.value(QStringLiteral("access_token"));
    const QJsonValue refresh = reply.value(QStringLiteral("refresh_token"));
    if (!access.isString() || !refresh.isString())
        throw AuthError::badResponse();

    const QJsonValue expiresIn = reply.value(QStringLiteral("expires_in"));
    TokenPair pair;
    pair.accessToken = access.toString();
    pair.refreshToken = refresh.toString();
    pair.expiresAt = expiryFrom(now, expiresIn.isDouble() ? std::optional<double>(expiresIn.toDouble()) : std::nullopt);
    const QJsonValue user = reply.value(QStringLiteral("user"));
    const QJsonValue userEmail = user.isObject() ? user.toObject().value(QStringLiteral("email")) : QJsonValue();
    pair.email = userEmail.isString() ? std::optional<QString>(userEmail.toString()) : jwtEmail(pair.accessToken);
    return pair;
}

std::optional<SupabaseAuth::TokenPair> SupabaseAuth::parseCallback(const QUrl& url, const QDateTime& now)
{
    if (!url.isValid() || !url.hasFragment())
        return std::nullopt;
    // Split the fragment while it is still encoded and decode each value once: a token holding
    // an encoded "&", "=" or "%" must come out exactly as the service encoded it.
    const QString fragment = url.fragment(QUrl::FullyEncoded);
    QHash<QString, QString> values;
    for (const QString& field : fragment.split(QLatin1Char('&'))) {
        const QStringList parts = field.split(QLatin1Char('='));
        if (parts.size() != 2)
            continue;
        values.insert(QUrl::fromPercentEncoding(parts[0].toLatin1()), QUrl::fromPercentEncoding(parts[1].toLatin1()));
    }
    const auto access = values.constFind(QStringLiteral("access_token"));
    const auto refresh = values.constFind(QStringLiteral("refresh_token"));
    if (access == values.constEnd() || refresh == values.constEnd())
        return std::nullopt;

    const auto expiresIn = values.constFind(QStringLiteral("expires_in"));
    TokenPair pair;
    pair.accessToken = *access;
    pair.refreshToken = *refresh;
    pair.expiresAt = expiryFrom(now, expiresIn == values.constEnd() ? std::nullopt : wholeNumber(*expiresIn));
    pair.email = jwtEmail(pair.accessToken);
    return pair;
}

std::optional<QString> SupabaseAuth::callbackState(const QUrl& url)
{
    if (url.scheme() != QLatin1String("murmo") || url.host() != QLatin1String("auth-callback"))
        return std::nullopt;
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("state")))
        return std::nullopt;
    return query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
}

std::optional<QString> SupabaseAuth::jwtEmail(const QString& token)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    QString payload = parts[1];
    payload.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
    while (payload.size() % 4 != 0)
        payload += QLatin1Char('=');
    const auto decoded = QByteArray::fromBase64Encoding(payload.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*decoded);
    const QJsonValue email = document.isObject() ? document.object().value(QStringLiteral("email")) : QJsonValue();
    return email.isString() ? std::optional<QString>(email.toString()) : std::nullopt;
}
