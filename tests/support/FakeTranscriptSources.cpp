#include "tests/support/FakeTranscriptSources.h"

#include "core/async/CancelToken.h"
#include "core/async/Sleep.h"
#include "core/recognition/AsrError.h"

#include <stdexcept>

void FakeStreamingTranscriptSource::answerAfter(std::chrono::milliseconds delay, const QString& text)
{
    m_delay = delay;
    m_text = text;
}

void FakeStreamingTranscriptSource::failAfter(std::chrono::milliseconds delay, std::exception_ptr error)
{
    m_delay = delay;
    m_error = std::move(error);
}

QCoro::Task<QString> FakeStreamingTranscriptSource::finish(std::chrono::milliseconds timeout)
{
    finishTimeouts.append(timeout);
    const std::shared_ptr<ResultSlot<QString>> result = m_result;
    Clock::TimerId answer = 0;
    if (m_delay) {
        answer = m_clock.schedule(*m_delay, [result, text = m_text, error = m_error] {
            if (error)
                result->setError(error);
            else
                result->setValue(text);
        });
    }
    const Clock::TimerId expiry = m_clock.schedule(timeout, [result] {
        result->setError(std::make_exception_ptr(AsrError::httpError(0, QStringLiteral("流式识别超时"))));
    });

    QString text;
    std::exception_ptr error;
    try {
        text = co_await result->wait();
    } catch (...) {
        error = std::current_exception();
    }
    m_clock.cancel(answer);
    m_clock.cancel(expiry);
    if (error)
        std::rethrow_exception(error);
    co_return text;
}

void FakeStreamingTranscriptSource::cancel(int closeCode)
{
    closeCodes.append(closeCode);
    m_result->setError(std::make_exception_ptr(std::runtime_error("socket closed")));
}

QCoro::Task<QString> ScriptedAsrProvider::transcribe(QByteArray wavData, QStringList vocabulary,
                                                     std::optional<QString> languageHint, CancelToken* cancel) const
{
    Request request{m_clock.now(), wavData, vocabulary, languageHint};
    requests.append(request);
    const bool answered = co_await sleepFor(&m_clock, m_takes, cancel);
    if (!answered) {
        ++cancelled;
        throw CancelledError();
    }
    if (!m_text)
        throw AsrError::httpError(500, QStringLiteral("boom"));
    co_return *m_text;
}
