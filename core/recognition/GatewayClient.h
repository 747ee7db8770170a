#pragma once

#include "core/recognition/Credential.h"
#include "core/recognition/CredentialSource.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class CancelToken;
class HttpTransport;

// The client of the maker's gateway: styling, asking, batch recognition, device registration and
// lexicon storage. Immutable; every call is independent. A client with a fixed credential retries
// nothing; one over a credential source takes the bearer from it at each call and, when the
// gateway refuses it, makes the call once more with the source's replacement.
class GatewayClient
{
public:
    GatewayClient(QUrl baseUrl, Credential credential, HttpTransport* transport);
    // A client with a device token.
    GatewayClient(QUrl baseUrl, QString token, HttpTransport* transport);
    GatewayClient(QUrl baseUrl, std::shared_ptr<CredentialSource> source, HttpTransport* transport);

    const QUrl& baseUrl() const { return m_baseUrl; }
    // The fixed credential; none for a client over a source.
    const std::optional<Credential>& credential() const { return m_credential; }

    // POST path with a JSON body. Answers: 200 with a JSON object is the result; 200 that is not
    // JSON throws JsonError; 401 throws GatewayAuthError (over a source: what the source chose,
    // after its one replacement was refused too); anything else (other statuses, a 200 that is
    // JSON but not an object) throws AsrError::httpError.
    QCoro::Task<QJsonObject> post(QString path, QJsonObject body, CancelToken* cancel = nullptr) const;
    // The same with a body already serialised (large uploads build theirs without a JSON tree).
    QCoro::Task<QJsonObject> postSerialized(QString path, QByteArray body, CancelToken* cancel = nullptr) const;

    // "v1/style": the answer's "text", or text itself when the answer has none.
    QCoro::Task<QString> complete(QString system, QString text, CancelToken* cancel = nullptr) const;
    // "v1/ask": the answer's "text"; an answer without one is thrown as a JsonError.
    QCoro::Task<QString> ask(QString system, QString text, CancelToken* cancel = nullptr) const;

    // "v1/register": a new device token for this computer. No credential is needed.
    static QCoro::Task<QString> registerDevice(QUrl baseUrl, QString label, QString registerSecret,
                                               HttpTransport* transport);

    // "v1/lexicon" GET: the stored snapshot, or nothing when the gateway has none (404, or a 200
    // without a "blob"). Any other status and a copy that cannot be read throw, so that the sync
    // never mistakes a failed fetch for an empty account.
    QCoro::Task<std::optional<QByteArray>> fetchLexicon(QString syncKey) const;
    // "v1/lexicon" PUT. A snapshot larger than lexiconCopyLimit is not sent (LexiconTooLargeError):
    // no machine could read it back. A refused credential throws GatewayAuthError, any other
    // answer but a 2xx AsrError::httpError.
    QCoro::Task<void> pushLexicon(QString syncKey, QByteArray data, QDateTime updatedAt) const;
    // The largest snapshot whose copy fetchLexicon can read back: its answer, the snapshot in
    // base64 with the JSON around it, stays within HttpTransport::lexiconAnswerCap.
    static qint64 lexiconCopyLimit(const QString& syncKey);

    // The answer rules of post(), apart from the transport: the result object or the thrown error.
    static QJsonObject objectFromAnswer(bool isHttp, int status, const QByteArray& body);
    // The snapshot in a 200 lexicon answer; nothing when it carries none; JsonError when the body
    // is not a JSON object or the blob is not valid base64.
    static std::optional<QByteArray> lexiconFromAnswer(const QByteArray& body);
    // The device token in a 200 register answer; nothing when it carries none; JsonError when the
    // body is not JSON.
    static std::optional<QString> tokenFromRegisterAnswer(const QByteArray& body);

private:
    // Runs call with the fixed credential, or through the source with its one retry.
    template <typename T> QCoro::Task<T> authorised(std::function<QCoro::Task<T>(Credential)> call) const;

    QUrl m_baseUrl;
    std::optional<Credential> m_credential;
    std::shared_ptr<CredentialSource> m_source;
    HttpTransport* m_transport;
};
