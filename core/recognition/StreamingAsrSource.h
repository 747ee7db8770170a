#pragma once

#include "core/recognition/StreamingTranscriptSource.h"

#include <memory>

class StreamingAsr;

// The gateway's streaming session as the transcript race sees it. The race only ends sessions; the
// recording keeps feeding the same StreamingAsr through its own reference until it stops.
//
// Main thread only, like the session's finish() and cancel().
class StreamingAsrSource : public StreamingTranscriptSource
{
public:
    explicit StreamingAsrSource(std::shared_ptr<StreamingAsr> session);

    QCoro::Task<QString> finish(std::chrono::milliseconds timeout) override;
    void cancel(int closeCode) override;

private:
    std::shared_ptr<StreamingAsr> m_session;
};
