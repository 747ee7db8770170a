#pragma once

#include "core/recognition/AsrProvider.h"

#include <QUrl>

class HttpTransport;

// Deepgram's /v1/listen with the user's own key: the WAV bytes as the body, options in the query.
class DeepgramProvider : public AsrProvider
{
public:
    // At most this many vocabulary terms are sent as "keyterm" items.
    static constexpr qsizetype kMaxKeyterms = 100;

    DeepgramProvider(QString apiKey, HttpTransport& transport);
    DeepgramProvider(QString apiKey, QUrl host, HttpTransport* transport);

    QString id() const override { return QStringLiteral("deepgram"); }
    const QString& apiKey() const { return m_apiKey; }

    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel = nullptr) const override;

    // The request address for the given vocabulary and hint.
    QUrl requestUrl(const QStringList& vocabulary, const std::optional<QString>& languageHint) const;

    // The transcript in a 200 answer. Every member on the way (results, channels, alternatives,
    // transcript) is required: JsonError when one is missing or of the wrong type;
    // AsrError::emptyResult when there is no channel, no alternative or an empty transcript.
    static QString transcriptFromAnswer(const QByteArray& body);

private:
    QString m_apiKey;
    QUrl m_host;
    HttpTransport* m_transport;
};
