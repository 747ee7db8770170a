#pragma once

#include <QString>

#include <exception>

// Why a dictation flow could not deliver, in the one shape the status line, the overlay and the
// history are told from: what went wrong, the text the user reads, and whether the saved
// recording can simply be tried again.
struct FlowFailure
{
    enum class Kind
    {
        // Recognition failed or gave nothing; the recording is kept.
        Recognition,
        // The gateway wants a signed-in user; trying again alone will not help.
        NeedsLogin,
    };

    Kind kind = Kind::Recognition;
    QString userText;
    bool retryable = true;

    // Classifies whatever a flow threw: the core's errors carry their own description, anything
    // else reads as an unknown failure.
    static FlowFailure from(std::exception_ptr error);
};
