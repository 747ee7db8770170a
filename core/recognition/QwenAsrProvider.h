#pragma once

#include "core/recognition/AsrProvider.h"

#include <QUrl>

class HttpTransport;

// Qwen recognition on DashScope's multimodal-generation endpoint, with the user's own key.
class QwenAsrProvider : public AsrProvider
{
public:
    QwenAsrProvider(QString apiKey, HttpTransport& transport);
    QwenAsrProvider(QString apiKey, QUrl host, HttpTransport* transport);

    QString id() const override { return QStringLiteral("qwen"); }
    const QString& apiKey() const { return m_apiKey; }

    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel = nullptr) const override;

    // The JSON request body for one recording.
    static QByteArray requestBody(const QByteArray& wavData, const QStringList& vocabulary,
                                  const std::optional<QString>& languageHint);

    // The transcript in a 200 answer; JsonError when the body is not JSON, AsrError::emptyResult
    // when the path to a non-empty text is missing anywhere.
    static QString transcriptFromAnswer(const QByteArray& body);

private:
    QString m_apiKey;
    QUrl m_host;
    HttpTransport* m_transport;
};
