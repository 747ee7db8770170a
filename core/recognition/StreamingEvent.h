#pragma once

#include <QString>

// One event of the realtime recogniser, read from a text frame. Frames that are not a JSON object
// with a string "type", and types this program does not act on, come out as Ignored.
struct StreamingEvent
{
    enum class Kind
    {
        Ignored,
        SessionUpdated, // "session.updated": the configuration was accepted
        Text,           // live text of the stretch not yet committed: text and stash
        Completed,      // the transcript answering one commit
        Error,          // the service gave up: message
    };

    Kind kind = Kind::Ignored;
    QString text;
    QString stash;
    QString transcript;
    QString message;

    static StreamingEvent parse(const QString& frame);
};
