#include "core/recognition/DeepgramProvider.h"

#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/NetworkErrors.h"
#include "core/net/ServiceEndpoints.h"
#include "core/recognition/AsrError.h"

#include <QJsonArray>

using namespace std::chrono_literals;

namespace {

const QString kProviderName = QStringLiteral("Deepgram");

QCoro::Task<QString> transcribeWith(QString apiKey, QUrl url, HttpTransport* transport, QByteArray wavData,
                                    CancelToken* cancel)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Token " + apiKey.toUtf8());
    request.setRawHeader("Content-Type", "audio/wav");

    const HttpResponse response = co_await transport->send(request, "POST", wavData, 60s, cancel);
    if (response.status != 200)
        throw AsrError::httpError(response.status, response.utf8Body());
    co_return DeepgramProvider::transcriptFromAnswer(response.body);
}

// A member the answer's schema requires, of the given type; JsonError otherwise.
QJsonValue required(const QJsonObject& object, const QString& key, QJsonValue::Type type, const QString& path)
{
    const QJsonValue value = object.value(key);
    if (value.type() != type)
        throw JsonError::missingMember(path);
    return value;
}

} // namespace

DeepgramProvider::DeepgramProvider(QString apiKey, HttpTransport& transport)
    : DeepgramProvider(std::move(apiKey), ServiceEndpoints::deepgram(), &transport)
{}

DeepgramProvider::DeepgramProvider(QString apiKey, QUrl host, HttpTransport* transport)
    : m_apiKey(std::move(apiKey))
    , m_host(std::move(host))
    , m_transport(transport)
{}

QUrl DeepgramProvider::requestUrl(const QStringList& vocabulary, const std::optional<QString>& languageHint) const
{
    // QUrlQuery leaves '+' and most other reserved characters as they are, and the service reads
    // a '+' as a blank ("C++" would arrive as "C  "): every value is encoded by hand.
    QByteArray query;
    const auto add = [&query](const char* key, const QString& value) {
        if (!query.isEmpty())
            query += '&';
        query += key;
        query += '=';
        query += QUrl::toPercentEncoding(value);
    };
    add("model", QStringLiteral("nova-3"));
    add("smart_format", QStringLiteral("true"));
    add("language", languageHint.value_or(QStringLiteral("multi")));
    for (const QString& term : vocabulary.mid(0, kMaxKeyterms))
        add("keyterm", term);

    QUrl url = ServiceEndpoints::appendPath(m_host, QStringLiteral("v1/listen"));
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QString DeepgramProvider::transcriptFromAnswer(const QByteArray& body)
{
    const QJsonDocument document = parseJsonDocument(body);
    if (!document.isObject())
        throw JsonError::missingMember(QStringLiteral("results"));
    const QJsonObject results =
        required(document.object(), QStringLiteral("results"), QJsonValue::Object, QStringLiteral("results"))
            .toObject();
    const QJsonArray channels =
        required(results, QStringLiteral("channels"), QJsonValue::Array, QStringLiteral("results.channels")).toArray();

    // Like a strict decoder, every element is checked against the schema, not only the one used.
    QString first;
    for (qsizetype c = 0; c < channels.size(); ++c) {
        if (!channels[c].isObject())
            throw JsonError::missingMember(QStringLiteral("results.channels[]"));
        const QJsonArray alternatives = required(channels[c].toObject(), QStringLiteral("alternatives"),
                                                 QJsonValue::Array, QStringLiteral("results.channels[].alternatives"))
                                            .toArray();
        for (qsizetype a = 0; a < alternatives.size(); ++a) {
            if (!alternatives[a].isObject())
                throw JsonError::missingMember(QStringLiteral("results.channels[].alternatives[]"));
            const QString transcript =
                required(alternatives[a].toObject(), QStringLiteral("transcript"), QJsonValue::String,
                         QStringLiteral("results.channels[].alternatives[].transcript"))
                    .toString();
            if (c == 0 && a == 0)
                first = transcript;
        }
    }
    if (first.isEmpty())
        throw AsrError::emptyResult();
    return first;
}

QCoro::Task<QString> DeepgramProvider::transcribe(QByteArray wavData, QStringList vocabulary,
                                                  std::optional<QString> languageHint, CancelToken* cancel) const
{
    if (m_apiKey.isEmpty())
        throw AsrError::missingApiKey(kProviderName);
    co_return co_await transcribeWith(m_apiKey, requestUrl(vocabulary, languageHint), m_transport, wavData, cancel);
}
