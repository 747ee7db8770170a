#pragma once

#include <QString>

#include <optional>

// The volume of the desktop's default sound output, as one scalar from 0 (silent) to 1 (full,
// unamplified). Calls wait for the sound server only briefly: a missing or stuck server gives
// "none" or false rather than blocking. Calls may come from a worker thread, one at a time; an
// adapter keeps no state between calls that another thread could see half-made.
class OutputVolume
{
public:
    struct Reading
    {
        // Identifies the output device, so a volume saved from one device is never applied to
        // another.
        QString sink;
        float volume = 0.0f;
        bool settable = false;
    };

    virtual ~OutputVolume() = default;

    // The default output and its volume; none when there is no sound server or output.
    virtual std::optional<Reading> defaultOutput() = 0;

    // Sets the named output's volume, keeping the balance between its channels. False when that
    // output does not exist or the server refused.
    virtual bool setVolume(const QString& sink, float volume) = 0;
};
