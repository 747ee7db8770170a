#pragma once

#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>
#include <QWebSocket>
#include <QWebSocketProtocol>
#include <QWebSocketServer>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QWebSocket;

// The gateway's realtime recogniser at /v1/asr-stream, on a WebSocket server of its own at a free
// port of 127.0.0.1 (Qt 6.4's QAbstractHttpServer answers an upgrade request through
// handleRequest before it upgrades, so the HTTP fakes cannot carry it). By default it confirms the configuration at
// once and answers every commit with the next queued transcript (an empty one when none is queued). Every text frame it
// receives is recorded, parsed, with the audio decoded, so tests can assert exactly what the client sent.
class FakeStreamingGateway : public QObject
{
    Q_OBJECT

public:
    explicit FakeStreamingGateway(QObject* parent = nullptr);
    ~FakeStreamingGateway() override;

    // "http://127.0.0.1:<port>/", the gateway base a client is given.
    QUrl baseUrl() const;

    // Serves a connection another server accepted and upgraded.
    void take(std::unique_ptr<QWebSocket> socket);

    // Behaviour, set before the client connects (or between its messages).
    bool confirmAtOnce = true; // answer "session.update" with "session.updated"
    bool answerCommits = true; // answer each commit with the next queued transcript
    // Handshakes with "Authorization: Bearer <one of these>" are answered 401.
    QStringList refusedBearers;
    void queueTranscript(const QString& transcript) { m_transcripts.push_back(transcript); }

    // Actions on the open connection.
    void confirm();
    void sendEvent(const QJsonObject& event);
    void sendText(const QString& frame);
    void sendBinary(const QByteArray& frame);
    void answerCommit(const QString& transcript);
    void liveText(const QString& text, const QString& stash);
    void serviceError(const QString& message);
    void closeConnection(QWebSocketProtocol::CloseCode code);
    // Tears the TCP connection down without a closing handshake.
    void dropConnection();

    // What was observed.
    bool connected() const { return m_socket != nullptr || m_disconnected; }
    bool disconnected() const { return m_disconnected; }
    // The close code the client's closing handshake carried, when it sent one.
    std::optional<int> closeCode() const { return m_closeCode; }
    const QNetworkRequest& handshake() const { return m_handshake; }
    int refusedHandshakes() const { return m_refused; }
    const QList<QJsonObject>& messages() const { return m_messages; }
    // The frames exactly as they came.
    const QStringList& rawMessages() const { return m_raw; }
    QStringList messageTypes() const;
    int countOf(const QString& type) const;
    // The 16-bit samples of every audio chunk, decoded, in arrival order.
    const QList<QByteArray>& audioChunks() const { return m_audioChunks; }
    qsizetype audioSamples() const;

    // Spins the event loop until `done` holds or `timeoutMs` passes; true when it held.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000);
    bool waitForMessages(int count, int timeoutMs = 20000);
    bool waitForDisconnect(int timeoutMs = 20000);

private:
    void accept(QWebSocket* socket);
    // Reads the handshake of a new connection: refuses it, or lets the WebSocket server take it.
    void screen(QTcpSocket* socket);
    void onText(const QString& frame);

    // Listens, and hands what it does not refuse to m_server.
    QTcpServer m_front;
    QWebSocketServer m_server;
    int m_refused = 0;
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    QPointer<QWebSocket> m_socket;
    QNetworkRequest m_handshake;
    std::deque<QString> m_transcripts;
    QList<QJsonObject> m_messages;
    QStringList m_raw;
    QList<QByteArray> m_audioChunks;
    std::optional<int> m_closeCode;
    bool m_disconnected = false;
};
