#pragma once

#include "core/async/ResultSlot.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingTranscriptSource.h"
#include "tests/support/ManualClock.h"

#include <QList>

#include <chrono>
#include <memory>
#include <optional>

// A streaming session whose finish() answers on a manual clock as scripted: a transcript or a
// failure after a delay, or nothing until the timeout ("流式识别超时", status 0) or cancel().
// Records every close code it was cancelled with.
class FakeStreamingTranscriptSource : public StreamingTranscriptSource
{
public:
    explicit FakeStreamingTranscriptSource(ManualClock& clock)
        : m_clock(clock)
    {}

    void answerAfter(std::chrono::milliseconds delay, const QString& text);
    void failAfter(std::chrono::milliseconds delay, std::exception_ptr error);

    QCoro::Task<QString> finish(std::chrono::milliseconds timeout) override;
    void cancel(int closeCode) override;

    QList<int> closeCodes;
    QList<std::chrono::milliseconds> finishTimeouts;

private:
    ManualClock& m_clock;
    std::optional<std::chrono::milliseconds> m_delay;
    QString m_text;
    std::exception_ptr m_error;
    std::shared_ptr<ResultSlot<QString>> m_result = ResultSlot<QString>::create();
};

// A batch recogniser that answers on a manual clock after takes: text, or AsrError::httpError(500)
// when text is none. It stops with CancelledError when its token is raised. Records each request.
class ScriptedAsrProvider : public AsrProvider
{
public:
    struct Request
    {
        std::chrono::milliseconds at;
        QByteArray wavData;
        QStringList vocabulary;
        std::optional<QString> languageHint;
    };

    ScriptedAsrProvider(ManualClock& clock, std::chrono::milliseconds takes, std::optional<QString> text)
        : m_clock(clock)
        , m_takes(takes)
        , m_text(std::move(text))
    {}

    QString id() const override { return QStringLiteral("scripted"); }
    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel = nullptr) const override;

    mutable QList<Request> requests;
    mutable int cancelled = 0;

private:
    ManualClock& m_clock;
    std::chrono::milliseconds m_takes;
    std::optional<QString> m_text;
};
