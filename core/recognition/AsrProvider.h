#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <optional>

class CancelToken;

// A batch speech recogniser: a whole WAV recording in, its transcript out. Failures are thrown:
// AsrError for the recognition cases, GatewayAuthError, TransportError and JsonError otherwise,
// CancelledError when the token was raised.
class AsrProvider
{
public:
    virtual ~AsrProvider() = default;

    // "gateway", "qwen" or "deepgram".
    virtual QString id() const = 0;

    // wavData is a 16 kHz mono WAV image; vocabulary the user's hot words in lexicon order. An
    // absent languageHint lets the service detect the language; any present string, the empty one
    // included, is passed on unchanged.
    virtual QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary,
                                            std::optional<QString> languageHint,
                                            CancelToken* cancel = nullptr) const = 0;
};
