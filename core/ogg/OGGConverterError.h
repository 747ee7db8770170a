#pragma once

#include "core/MurmoError.h"

#include <exception>

// Every failure of a file conversion reaches the caller as this type. Other wraps whatever went
// wrong underneath (a file that cannot be read or written, an OpusError, an OggError); the
// original stays available through cause() so callers can tell them apart.
class OGGConverterError : public MurmoError
{
public:
    enum class Kind
    {
        Other,
        // The destination's container cannot hold audio with this channel count and rate.
        FailedToCreateChannelLayout,
        // The source holds no audio frames to convert.
        FailedToCreatePCMBuffer,
    };

    explicit OGGConverterError(Kind kind);
    // Wraps a failure from below; description is what the user sees.
    static OGGConverterError other(QString description, std::exception_ptr cause = {});

    Kind kind() const { return m_kind; }
    const std::exception_ptr& cause() const { return m_cause; }

private:
    OGGConverterError(Kind kind, QString description, std::exception_ptr cause);

    Kind m_kind;
    std::exception_ptr m_cause;
};
