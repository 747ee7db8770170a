#include "core/recognition/QwenAsrProvider.h"

#include "core/async/BulkPool.h"
#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/ServiceEndpoints.h"
#include "core/recognition/AsrError.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QtConcurrent>

using namespace std::chrono_literals;

namespace {

const QString kProviderName = QStringLiteral("Qwen (DashScope)");
const QString kPath = QStringLiteral("/api/v1/services/aigc/multimodal-generation/generation");

QCoro::Task<QString> transcribeWith(QString apiKey, QUrl host, HttpTransport* transport, QByteArray wavData,
                                    QStringList vocabulary, std::optional<QString> languageHint, CancelToken* cancel)
{
    // The body holds the recording as base64: megabytes for each chunk of a long take, and its
    // chunks start together. Built on a worker so that the caller's thread does not hold for them.
    QFuture<QByteArray> building = QtConcurrent::run(&bulkPool(), &QwenAsrProvider::requestBody, std::move(wavData),
                                                     std::move(vocabulary), languageHint);
    const QByteArray body = co_await building;
    QNetworkRequest request(ServiceEndpoints::appendPath(host, kPath));
    request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    request.setRawHeader("Content-Type", "application/json");

    const HttpResponse response = co_await transport->send(request, "POST", body, 60s, cancel);
    if (response.status != 200)
        throw AsrError::httpError(response.status, response.utf8Body());
    co_return QwenAsrProvider::transcriptFromAnswer(response.body);
}

// The first element of array as an object, or an empty object.
QJsonObject firstObject(const QJsonValue& array)
{
    return array.toArray().first().toObject();
}

} // namespace

QwenAsrProvider::QwenAsrProvider(QString apiKey, HttpTransport& transport)
    : QwenAsrProvider(std::move(apiKey), ServiceEndpoints::dashScope(), &transport)
{}

QwenAsrProvider::QwenAsrProvider(QString apiKey, QUrl host, HttpTransport* transport)
    : m_apiKey(std::move(apiKey))
    , m_host(std::move(host))
    , m_transport(transport)
{}

QByteArray QwenAsrProvider::requestBody(const QByteArray& wavData, const QStringList& vocabulary,
                                        const std::optional<QString>& languageHint)
{
    const QString context = vocabulary.isEmpty()
                                ? QString()
                                : QStringLiteral("可能出现的专有名词：") + vocabulary.join(QStringLiteral("、"));
    const QString audio = QStringLiteral("data:audio/wav;base64,") + QString::fromLatin1(wavData.toBase64());

    const QJsonObject system{{QStringLiteral("role"), QStringLiteral("system")},
                             {QStringLiteral("content"), QJsonArray{QJsonObject{{QStringLiteral("text"), context}}}}};
    const QJsonObject user{{QStringLiteral("role"), QStringLiteral("user")},
                           {QStringLiteral("content"), QJsonArray{QJsonObject{{QStringLiteral("audio"), audio}}}}};
    const QJsonObject options{{QStringLiteral("enable_itn"), true},
                              {QStringLiteral("language"), languageHint ? QJsonValue(*languageHint) : QJsonValue()}};
    const QJsonObject body{
        {QStringLiteral("model"), QStringLiteral("qwen3-asr-flash")},
        {QStringLiteral("input"), QJsonObject{{QStringLiteral("messages"), QJsonArray{system, user}}}},
        {QStringLiteral("parameters"), QJsonObject{{QStringLiteral("asr_options"), options}}},
    };
    return compactJson(body);
}

QString QwenAsrProvider::transcriptFromAnswer(const QByteArray& body)
{
    const QJsonDocument document = parseJsonDocument(body);
    const QJsonObject message =
        firstObject(document.object().value(QStringLiteral("output")).toObject().value(QStringLiteral("choices")))
            .value(QStringLiteral("message"))
            .toObject();
    const QString text = firstObject(message.value(QStringLiteral("content"))).value(QStringLiteral("text")).toString();
    if (text.isEmpty())
        throw AsrError::emptyResult();
    return text;
}

QCoro::Task<QString> QwenAsrProvider::transcribe(QByteArray wavData, QStringList vocabulary,
                                                 std::optional<QString> languageHint, CancelToken* cancel) const
{
    if (m_apiKey.isEmpty())
        throw AsrError::missingApiKey(kProviderName);
    // Everything the request needs is copied before the first suspension, so the provider may go
    // away while the request runs.
    co_return co_await transcribeWith(m_apiKey, m_host, m_transport, std::move(wavData), std::move(vocabulary),
                                      std::move(languageHint), cancel);
}
