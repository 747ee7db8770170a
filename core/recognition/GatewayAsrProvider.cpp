#include "core/recognition/GatewayAsrProvider.h"

#include "core/async/BulkPool.h"
#include "core/net/Json.h"
#include "core/recognition/AsrError.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QtConcurrent>

GatewayAsrProvider::GatewayAsrProvider(GatewayClient client)
    : m_client(std::move(client))
{}

QByteArray GatewayAsrProvider::requestBody(const QByteArray& wavData, const QStringList& vocabulary,
                                           const std::optional<QString>& languageHint)
{
    QJsonObject rest{{QStringLiteral("vocab"), QJsonArray::fromStringList(vocabulary)}};
    if (languageHint)
        rest.insert(QStringLiteral("language_hint"), *languageHint);
    const QByteArray restJson = compactJson(rest); // "{...}", never empty: "vocab" is always there

    // A minute of audio is megabytes of base64, and base64 never needs JSON escaping, so the audio
    // is written straight into the body instead of going through a JSON string value.
    static constexpr QByteArrayView kOpening = "{\"audio_b64\":\"";
    const qsizetype base64Size = (wavData.size() + 2) / 3 * 4;
    QByteArray body;
    body.reserve(kOpening.size() + base64Size + 2 + restJson.size());
    body.append(kOpening);
    body.append(wavData.toBase64());
    body.append("\",");
    body.append(QByteArrayView(restJson).sliced(1));
    return body;
}

QString GatewayAsrProvider::transcriptFromAnswer(const QJsonObject& answer)
{
    const QString text = answer.value(QStringLiteral("text")).toString();
    if (text.isEmpty())
        throw AsrError::emptyResult();
    return text;
}

QCoro::Task<QString> GatewayAsrProvider::transcribe(QByteArray wavData, QStringList vocabulary,
                                                    std::optional<QString> languageHint, CancelToken* cancel) const
{
    // Copied before the first suspension, so the provider may go away while the request runs.
    const GatewayClient client = m_client;
    // The body holds the recording as base64: megabytes for each chunk of a long take, and its
    // chunks start together. Built on a worker so that the caller's thread does not hold for them.
    QFuture<QByteArray> building = QtConcurrent::run(&bulkPool(), &requestBody, wavData, vocabulary, languageHint);
    const QByteArray body = co_await building;
    const QJsonObject answer = co_await client.postSerialized(QStringLiteral("v1/asr"), body, cancel);
    co_return transcriptFromAnswer(answer);
}
