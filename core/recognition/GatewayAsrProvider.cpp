#include "core/recognition/GatewayAsrProvider.h"

#include "core/net/Json.h"
#include "core/recognition/AsrError.h"

#include <QJsonArray>

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
    const QJsonObject answer = co_await m_client.postSerialized(QStringLiteral("v1/asr"),
                                                                requestBody(wavData, vocabulary, languageHint), cancel);
    co_return transcriptFromAnswer(answer);
}
