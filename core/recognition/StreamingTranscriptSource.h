#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

// The streaming side of a transcript race: a live recognition session at the end of its recording.
// The race needs only to end it, with or without its transcript.
//
// Held by shared_ptr; main thread only.
class StreamingTranscriptSource
{
public:
    virtual ~StreamingTranscriptSource() = default;

    // Commits what is left and waits, at most timeout, for the transcript (empty is a valid one).
    // At the timeout gives what has been recognised, or throws when that is nothing; a failure of
    // the session is thrown. After cancel() a waiting finish must end too (its error is dropped).
    virtual QCoro::Task<QString> finish(std::chrono::milliseconds timeout) = 0;

    // Ends the session without a result, closing its connection with closeCode. Harmless on a
    // session that has already ended.
    virtual void cancel(int closeCode) = 0;
};
