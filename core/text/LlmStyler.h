#pragma once

#include "core/text/Styler.h"

#include <QUrl>

class HttpTransport;

// Styles text with the Anthropic Messages API ("/v1/messages") and the user's own API key. An
// empty key is not an error: the text comes back untouched, so styling degrades to the raw
// transcript. Immutable; nothing is retried here.
class LlmStyler : public Styler
{
public:
    // A request to the model may take this long in all.
    static constexpr std::chrono::milliseconds kRequestTimeout{60000};

    // The model the program asks for unless told otherwise.
    static inline const QString kDefaultModel = QStringLiteral("claude-haiku-4-5-20251001");

    // Talks to ServiceEndpoints::anthropic() through transport.
    LlmStyler(QString apiKey, QString model, HttpTransport& transport);
    LlmStyler(QString apiKey, QString model, QUrl host, HttpTransport* transport);

    const QString& apiKey() const { return m_apiKey; }
    const QString& model() const { return m_model; }

    QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                               CancelToken* cancel = nullptr) const override;
    std::chrono::milliseconds timeout() const override { return kRequestTimeout; }

    // One Messages API call: the system prompt and one user message; the model's text.
    QCoro::Task<QString> complete(QString system, QString text, CancelToken* cancel = nullptr) const;

    // The answer budget for a user message: its length in user-perceived characters plus 800,
    // at least 1024 and at most 8192.
    static int maxTokensFor(const QString& text);

    // The request body: exactly "model", "max_tokens", "system" and "messages" (one user message).
    static QByteArray requestBody(const QString& model, const QString& system, const QString& text);

    // The answer rules, apart from the transport. Status 200: the "text" of every content block
    // that has one, joined without separator (JsonError when the body does not hold a "content"
    // array of objects). Any other status, or no HTTP answer (status 0): AsrError::httpError with
    // the body as UTF-8 text (empty when it is not UTF-8).
    static QString textFromAnswer(bool isHttp, int status, const QByteArray& body);

private:
    QString m_apiKey;
    QString m_model;
    QUrl m_host;
    HttpTransport* m_transport;
};
