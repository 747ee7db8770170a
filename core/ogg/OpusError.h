#pragma once

#include "core/MurmoError.h"

#include <cstdint>

// A failure of the Opus codec or of a stream that does not decode. The code is libopus's own
// result code; codes libopus may add later are reported as InternalError.
class OpusError : public MurmoError
{
public:
    enum class Code : int32_t
    {
        Okay = 0,
        BadArgument = -1,
        BufferTooSmall = -2,
        InternalError = -3,
        InvalidPacket = -4,
        Unimplemented = -5,
        InvalidState = -6,
        AllocationFailure = -7,
    };

    explicit OpusError(Code code);
    // For a failure that says more than its code.
    OpusError(Code code, const QString& description);

    // The error for a libopus result code.
    static OpusError fromResult(int result);

    Code code() const { return m_code; }

private:
    Code m_code;
};
