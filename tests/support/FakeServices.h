#pragma once

#include "tests/support/FakeHttpService.h"

class FakeStreamingGateway;

// Stand-ins for the remote services, each answering its routes the way the real one does on a
// good day. Tests override any route with setReply/queueReply/setHandler.

// The maker's gateway. The lexicon store is kept in memory: a PUT is returned by later GETs of
// the same key.
class FakeGateway : public FakeHttpService
{
    Q_OBJECT

public:
    explicit FakeGateway(QObject* parent = nullptr);

    // The realtime recogniser on this gateway's own address, as the real gateway serves it:
    // WebSocket upgrades go to streaming from now on.
    void serveStreaming(FakeStreamingGateway& streaming);

    // What v1/asr and v1/style answer by default.
    static inline const QString kTranscript = QStringLiteral("今天天气不错");
    static inline const QString kDeviceToken = QStringLiteral("device-token-1");

    QHash<QString, QByteArray> storedLexicons; // key -> base64 blob
};

// DashScope's multimodal generation (Qwen recognition).
class FakeDashScope : public FakeHttpService
{
    Q_OBJECT

public:
    static inline const QString kPath = QStringLiteral("/api/v1/services/aigc/multimodal-generation/generation");

    explicit FakeDashScope(QObject* parent = nullptr);

    // A 200 answer carrying text where Qwen puts its transcript.
    static FakeReply answer(const QString& text);
};

// Deepgram's /v1/listen.
class FakeDeepgram : public FakeHttpService
{
    Q_OBJECT

public:
    static inline const QString kPath = QStringLiteral("/v1/listen");

    explicit FakeDeepgram(QObject* parent = nullptr);

    static FakeReply answer(const QString& transcript);
};
