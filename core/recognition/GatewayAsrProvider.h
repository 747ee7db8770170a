#pragma once

#include "core/recognition/AsrProvider.h"
#include "core/recognition/GatewayClient.h"

// Batch recognition through the gateway's "v1/asr".
class GatewayAsrProvider : public AsrProvider
{
public:
    explicit GatewayAsrProvider(GatewayClient client);

    QString id() const override { return QStringLiteral("gateway"); }
    const GatewayClient& client() const { return m_client; }

    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel = nullptr) const override;

    // {"audio_b64": base64 of wavData, "vocab": [...], "language_hint": hint when present}.
    static QByteArray requestBody(const QByteArray& wavData, const QStringList& vocabulary,
                                  const std::optional<QString>& languageHint);

    // The answer's "text" when it is a non-empty string, else AsrError::emptyResult.
    static QString transcriptFromAnswer(const QJsonObject& answer);

private:
    GatewayClient m_client;
};
