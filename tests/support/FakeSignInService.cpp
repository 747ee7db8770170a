#include "tests/support/FakeSignInService.h"

#include <QUrlQuery>

FakeSignInService::FakeSignInService(QObject* parent)
    : FakeHttpService(parent)
{
    setReply("POST", QStringLiteral("/auth/v1/otp"), FakeReply::json({}));
    setHandler("POST", QStringLiteral("/auth/v1/verify"), [this](const RecordedRequest& request) {
        const QJsonObject body = request.json();
        if (body.value(QStringLiteral("token")).toString() != kCode)
            return FakeReply::json({{QStringLiteral("msg"), QStringLiteral("Token has expired or is invalid")}}, 400);
        currentRefreshToken = QStringLiteral("refresh-0");
        return pairReply(0);
    });
    setHandler("POST", QStringLiteral("/auth/v1/token"), [this](const RecordedRequest& request) {
        if (request.json().value(QStringLiteral("refresh_token")).toString() != currentRefreshToken)
            return FakeReply::json({{QStringLiteral("error_description"), QStringLiteral("Invalid Refresh Token")}},
                                   400);
        ++refreshes;
        currentRefreshToken = QStringLiteral("refresh-%1").arg(refreshes);
        return pairReply(refreshes);
    });
}

SupabaseAuth::Config FakeSignInService::config() const
{
    QUrl origin = baseUrl();
    origin.setPath(QString());
    return {origin, kKey};
}

QString FakeSignInService::jwt(const std::optional<QString>& email)
{
    QJsonObject claims{{QStringLiteral("sub"), QStringLiteral("user-1")}};
    if (email)
        claims.insert(QStringLiteral("email"), *email);
    const auto part = [](const QByteArray& bytes) {
        return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    return part(R"({"alg":"HS256","typ":"JWT"})") + u'.' + part(QJsonDocument(claims).toJson(QJsonDocument::Compact)) +
           u'.' + part("signature");
}

FakeReply FakeSignInService::pairReply(int n)
{
    const QString access = jwt(kEmail) + QStringLiteral("-access-%1").arg(n);
    return FakeReply::json({{QStringLiteral("access_token"), access},
                            {QStringLiteral("refresh_token"), QStringLiteral("refresh-%1").arg(n)},
                            {QStringLiteral("expires_in"), 3600},
                            {QStringLiteral("token_type"), QStringLiteral("bearer")},
                            {QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), kEmail}}}});
}

QUrl FakeSignInService::webSignInRedirect(const QUrl& authorize, const QString& fragment)
{
    QUrl redirect(QUrlQuery(authorize).queryItemValue(QStringLiteral("redirect_to"), QUrl::FullyDecoded));
    redirect.setFragment(fragment, QUrl::StrictMode);
    return redirect;
}
