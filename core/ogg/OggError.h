#pragma once

#include "core/MurmoError.h"

// A failure of the Ogg framing: a stream libogg refused, or an encoder set up in a way the Ogg
// layer cannot serve (such as PCM at another rate than the Opus rate).
class OggError : public MurmoError
{
public:
    enum class Kind
    {
        OutOfSync,
        InternalError,
    };

    explicit OggError(Kind kind);

    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};
